// Any reply bytes from the card's identity request.
#include <cstdlib>
#include <string>

#include "CardIdentity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t reply[5] = {};
  for (size_t i = 0; i < size && i < 5; ++i) reply[i] = data[i];
  const std::string line = card::IdentityLine(reply);
  if (line.rfind("卡名: ", 0) != 0 || line.size() < 4 || line.substr(line.size() - 3) != "位") {
    std::abort();
  }
  return 0;
}
