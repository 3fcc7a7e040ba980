#include "RecordingText.h"

#include <iterator>

#include "WidgetText.h"

namespace {

constexpr std::pair<const char*, const char*> kReasons[] = {
    {"holds a recording already", "该文件夹已有记录（不会覆盖），请换一个文件夹"},
    {"not a folder", "不是文件夹"},
    {"no recording here", "这里没有记录"},
    {"wrong magic", "不是记录文件"},
    {"description record is damaged", "说明记录已损坏或缺失"},
    {"belongs to another recording", "属于另一个记录"},
    {"is damaged and left out", "数据已损坏，未显示"},
    {"newer than this program", "格式比本程序新，请更新程序"},
    {"nothing of the recording could be read", "记录无法读取"},
};

}  // namespace

QString RecordingReason(const std::string& reason) {
  for (const auto& [english, chinese] : kReasons) {
    if (reason.find(english) != std::string::npos) {
      return QString("%1 (%2)").arg(chinese, ToQt(reason));
    }
  }
  return ToQt(reason);
}
