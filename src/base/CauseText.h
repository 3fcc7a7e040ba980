// A failure as the operator reads it: the Chinese for its kind first, the system's own
// words in brackets after ("磁盘已满 (No space left on device)"). The one table of those
// words, for every window and the command line.
#pragma once

#include <string>

#include "Failure.h"

namespace base {

// The Chinese for a kind; empty for Cause::Other.
const char* CauseInChinese(Failure::Cause cause);

// "中文 (reason)", or "(reason)" when the kind has no Chinese of its own, or the Chinese
// alone when the system gave no words.
std::string ReasonInChinese(const Failure& failure);
std::string ReasonInChinese(Failure::Cause cause, const std::string& reason);

}  // namespace base
