// Where the data files go by default, and how the window names that folder.
#pragma once

#include <string>
#include <string_view>

namespace acquisition {

std::string DefaultDataDirectory();
// The caption's start, before the folder.
inline constexpr std::string_view kDirectoryCaptionStart = "文件保存到:";
// kDirectoryCaptionStart and the folder.
std::string DirectoryCaption(const std::string& directory);

}  // namespace acquisition
