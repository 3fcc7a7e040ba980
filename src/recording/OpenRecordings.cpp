#include "OpenRecordings.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "Checksum.h"
#include "FolderFiles.h"
#include "RecordDisk.h"
#include "RecordFormat.h"
#include "WholeFile.h"

namespace recording {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNoteStart = "recording-", kNoteEnd = ".open";

// The folder as it is reached from anywhere: a program started later from another folder
// must find the same recording, and a note names it whatever the current folder is.
std::string Absolute(const std::string& folder) {
  std::error_code error;
  fs::path absolute = fs::absolute(FileSystemPath(folder), error).lexically_normal();
  if (error) return folder;
  if (!absolute.has_filename() && absolute.has_relative_path()) absolute = absolute.parent_path();
  const std::u8string text = absolute.u8string();
  return std::string(text.begin(), text.end());
}

std::string NoteOf(const std::string& registry, const std::string& folder) {
  return InFolder(registry,
                  std::string(kNoteStart) + base::Checksum(folder) + std::string(kNoteEnd));
}

}  // namespace

base::Result<> NoteOpen(const std::string& registry, const std::string& folder) {
  std::error_code error;
  fs::create_directories(FileSystemPath(registry), error);
  const std::string absolute = Absolute(folder);
  return base::WriteWholeFile(NoteOf(registry, absolute), absolute);
}

void NoteClosed(const std::string& registry, const std::string& folder) {
  std::error_code error;
  fs::remove(FileSystemPath(NoteOf(registry, Absolute(folder))), error);
  // A note an earlier version made under the folder's name as it was given.
  fs::remove(FileSystemPath(NoteOf(registry, folder)), error);
}

std::vector<std::string> InterruptedRecordings(const std::string& registry) {
  std::vector<std::string> folders;
  std::error_code error;
  for (fs::directory_iterator it(FileSystemPath(registry), error), end; !error && it != end;
       it.increment(error)) {
    const std::u8string name8 = it->path().filename().u8string();
    const std::string name(name8.begin(), name8.end());
    if (!name.starts_with(kNoteStart) || !name.ends_with(kNoteEnd)) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string folder = text.str();
    const std::vector<int> segments = SegmentNumbers(folder);
    if (!segments.empty() && disk::Held(InFolder(folder, SegmentName(segments.back())))) continue;
    folders.push_back(folder);
  }
  return folders;
}

}  // namespace recording
