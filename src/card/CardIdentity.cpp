#include "CardIdentity.h"

#include "DllDef.h"
#include "NumberForms.h"

namespace card {

std::string IdentityLine(const uint8_t reply[5]) {
  using numtext::AppendSignedColumn;
  std::string line = "卡名:";
  AppendSignedColumn(line, reply[0]);
  AppendSignedColumn(line, reply[1]);
  line += " 类型:";
  AppendSignedColumn(line, reply[4]);
  line += "  速度:";
  AppendSignedColumn(line, static_cast<int16_t>(reply[2] * 10));  // speed is kept in tens of K
  line += "K  精度:";
  AppendSignedColumn(line, reply[3]);
  line += "位";
  return line;
}

base::Result<std::string> RequestIdentity(DllDef& dll) {
  dll.IoctlIn[0] = 70;
  dll.IoctlIn[1] = 64;
  dll.IoctlIn[2] = 0;
  return Attempt([&] {
    dll.IOCtl(100, dll.IoctlIn.data(), 100, dll.IoctlOut.data());
    return IdentityLine(dll.IoctlOut.data());
  });
}

}  // namespace card
