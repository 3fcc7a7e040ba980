// Asking the card who it is, and the one line that shows the answer.
#pragma once

#include <cstdint>
#include <string>

#include "Failure.h"

class DllDef;

namespace card {

// "卡名: 12 34 类型: 1  速度: 50K  精度: 16位" for the reply bytes 12, 34, 5, 16, 1.
std::string IdentityLine(const uint8_t reply[5]);

// Sends the identity request and returns the line for whatever the reply holds, or why the
// card could not be asked.
base::Result<std::string> RequestIdentity(DllDef& dll);

}  // namespace card
