// Where the data files go by default, and how the window names that folder.
#pragma once

#include <string>

namespace acquisition {

std::string DefaultDataDirectory();
// "文件保存到:" and the folder.
std::string DirectoryCaption(const std::string& directory);

}  // namespace acquisition
