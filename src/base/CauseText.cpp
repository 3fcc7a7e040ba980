#include "CauseText.h"

#include <cerrno>

namespace base {

Failure::Cause CauseOfErrno(int error) {
  using C = Failure::Cause;
  switch (error) {
    case ENOSPC:
      return C::NoSpace;
    case EROFS:
      return C::ReadOnly;
    case EACCES:
    case EPERM:
      return C::NoPermission;
    case ENOENT:
      return C::NotFound;
    case ENOTDIR:
      return C::NotAFolder;
    case EIO:
      return C::InputOutput;
    case ETIMEDOUT:
      return C::TimedOut;
    default:
      return C::Other;
  }
}

const char* CauseInChinese(Failure::Cause cause) {
  using C = Failure::Cause;
  switch (cause) {
    case C::Other:
      return "";
    case C::NoSpace:
      return "磁盘已满";
    case C::ReadOnly:
      return "文件系统只读";
    case C::NoPermission:
      return "没有权限";
    case C::NotFound:
      return "路径不存在";
    case C::NotAFolder:
      return "不是文件夹";
    case C::FolderNotMade:
      return "无法创建文件夹";
    case C::InputOutput:
      return "磁盘读写出错";
    case C::DatabaseBusy:
      return "数据库正被另一个程序占用";
    case C::NotADatabase:
      return "文件不是结果数据库";
    case C::DatabaseNewer:
      return "由更新版本的程序写入，请更新本程序";
    case C::DatabaseDamaged:
      return "数据库已损坏";
    case C::LineHostUnknown:
      return "找不到全线数据库服务器";
    case C::LineRefused:
      return "全线数据库服务器拒绝连接";
    case C::LineNoAnswer:
      return "全线数据库服务器没有应答";
    case C::LineNoTls:
      return "全线数据库服务器不支持加密连接";
    case C::LineLoginRefused:
      return "全线数据库拒绝登录";
    case C::LineNoDatabase:
      return "全线数据库不存在";
    case C::LineNoGrant:
      return "没有写入全线数据库的权限";
    case C::LineNewer:
      return "全线数据库比本程序新，请更新本程序";
    case C::LineNoSchema:
      return "全线数据库尚未建立";
    case C::PassFileOpen:
      return "密码文件别人也能读";
    case C::LibraryDamaged:
      return "文件不完整或不是本机可用的库";
    case C::CardInUse:
      return "板卡正被另一个程序使用";
    case C::TimedOut:
      return "等待超时";
    case C::RecordingExists:
      return "该文件夹已有记录（不会覆盖），请换一个文件夹";
    case C::NoRecording:
      return "这里没有记录";
    case C::NotARecordingFile:
      return "不是记录文件";
    case C::DescriptionDamaged:
      return "说明记录已损坏或缺失";
    case C::ForeignSegment:
      return "属于另一个记录";
    case C::RecordDamaged:
      return "数据已损坏，未显示";
    case C::FormatNewer:
      return "格式比本程序新，请更新程序";
    case C::NothingReadable:
      return "记录无法读取";
  }
  return "";
}

std::string ReasonInChinese(Failure::Cause cause, const std::string& reason) {
  const std::string chinese = CauseInChinese(cause);
  if (chinese.empty()) return reason.empty() ? std::string() : "(" + reason + ")";
  if (reason.empty()) return chinese;
  return chinese + " (" + reason + ")";
}

std::string ReasonInChinese(const Failure& failure) {
  return ReasonInChinese(failure.cause, failure.reason);
}

}  // namespace base
