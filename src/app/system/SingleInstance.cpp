#include "SingleInstance.h"

#include "CauseText.h"

std::string CardInUseText(const SingleInstance& instance) {
  std::string who;
  const std::pair<const char*, std::string> parts[] = {{"进程 ", instance.holderProcess()},
                                                       {"用户 ", instance.holderUser()},
                                                       {"数据目录 ", instance.holderDirectory()}};
  for (const auto& [label, value] : parts) {
    if (value.empty()) continue;
    who += (who.empty() ? "" : "，") + std::string(label) + value;
  }
  return std::string(base::CauseInChinese(base::Failure::Cause::CardInUse)) +
         "：KZB7310测试程序已在运行" + (who.empty() ? "" : "（" + who + "）");
}
