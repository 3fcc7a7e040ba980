// The data folder on Windows: c:\temp, which the window spells "c:\Temp".
#include "DataDirectory.h"

namespace acquisition {

std::string DefaultDataDirectory() {
  return "c:\\temp";
}

std::string DirectoryCaption(const std::string& directory) {
  return "文件保存到:" + (directory == "c:\\temp" ? std::string("c:\\Temp") : directory);
}

}  // namespace acquisition
