// The data folder on Windows: c:\temp, which the window spells "c:\Temp".
#include "DataDirectory.h"

namespace acquisition {

std::string DefaultDataDirectory() {
  return "c:\\temp";
}

std::string DirectoryCaption(const std::string& directory) {
  return std::string(kDirectoryCaptionStart) +
         (directory == "c:\\temp" ? std::string("c:\\Temp") : directory);
}

}  // namespace acquisition
