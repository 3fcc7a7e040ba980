#include "CauseText.h"

#include <cerrno>
#include <utility>

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

namespace {

// Every kind but Other has its words here.
constexpr std::pair<Failure::Cause, const char*> kChinese[] = {
    {Failure::Cause::NoSpace, "磁盘已满"},
    {Failure::Cause::ReadOnly, "文件系统只读"},
    {Failure::Cause::NoPermission, "没有权限"},
    {Failure::Cause::NotFound, "路径不存在"},
    {Failure::Cause::NotAFolder, "不是文件夹"},
    {Failure::Cause::FolderNotMade, "无法创建文件夹"},
    {Failure::Cause::InputOutput, "磁盘读写出错"},
    {Failure::Cause::DatabaseBusy, "数据库正被另一个程序占用"},
    {Failure::Cause::NotADatabase, "文件不是结果数据库"},
    {Failure::Cause::DatabaseNewer, "由更新版本的程序写入，请更新本程序"},
    {Failure::Cause::DatabaseDamaged, "数据库已损坏"},
    {Failure::Cause::LineHostUnknown, "找不到全线数据库服务器"},
    {Failure::Cause::LineRefused, "全线数据库服务器拒绝连接"},
    {Failure::Cause::LineNoAnswer, "全线数据库服务器没有应答"},
    {Failure::Cause::LineNoTls, "全线数据库服务器不支持加密连接"},
    {Failure::Cause::LineLoginRefused, "全线数据库拒绝登录"},
    {Failure::Cause::LineNoDatabase, "全线数据库不存在"},
    {Failure::Cause::LineNoGrant, "没有写入全线数据库的权限"},
    {Failure::Cause::LineNewer, "全线数据库比本程序新，请更新本程序"},
    {Failure::Cause::LineNoSchema, "全线数据库尚未建立"},
    {Failure::Cause::LineRunRefused, "全线数据库拒收这次测试"},
    {Failure::Cause::PassFileOpen, "密码文件别人也能读"},
    {Failure::Cause::LibraryDamaged, "文件不完整或不是本机可用的库"},
    {Failure::Cause::CardInUse, "板卡正被另一个程序使用"},
    {Failure::Cause::TimedOut, "等待超时"},
    {Failure::Cause::RecordingExists, "该文件夹已有记录（不会覆盖），请换一个文件夹"},
    {Failure::Cause::NoRecording, "这里没有记录"},
    {Failure::Cause::NotARecordingFile, "不是记录文件"},
    {Failure::Cause::DescriptionDamaged, "说明记录已损坏或缺失"},
    {Failure::Cause::ForeignSegment, "属于另一个记录"},
    {Failure::Cause::RecordDamaged, "数据已损坏，未显示"},
    {Failure::Cause::FormatNewer, "格式比本程序新，请更新程序"},
    {Failure::Cause::NothingReadable, "记录无法读取"},
    {Failure::Cause::TriggerUnreadable,
     "触发条件无法识别，应为 通道,rising|falling|either,电平 或 通道,enter|leave,下限..上限"},
    {Failure::Cause::TriggerChannelUnknown, "通道不存在，应为 ch1 到 ch64"},
    {Failure::Cause::TriggerLevelOutOfRange, "电平超出 ±5 V"},
    {Failure::Cause::TriggerWindowEmpty, "窗口的下限须小于上限"},
    {Failure::Cause::TriggerHysteresisTooLarge, "回差过大，触发永远不会准备好"},
    {Failure::Cause::TriggerPreTooLong, "触发前的时间超过 60 秒"},
    {Failure::Cause::TriggerTimeNotPositive, "时间须大于零"},
};

}  // namespace

const char* CauseInChinese(Failure::Cause cause) {
  for (const auto& [kind, words] : kChinese) {
    if (kind == cause) return words;
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
