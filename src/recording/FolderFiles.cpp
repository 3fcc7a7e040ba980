#include "FolderFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "RecordFormat.h"
#include "WholeFile.h"

namespace recording {
namespace {

namespace fs = std::filesystem;

base::Failure Refused(const std::string& folder, const std::string& why,
                      base::Failure::Cause cause = base::Failure::Cause::Other) {
  return base::Failure{base::Failure::Kind::FileNotWritten, folder, why, cause};
}

// The kind of a file system error, from its portable condition (an errno value on every
// platform).
base::Failure::Cause CauseOf(const std::error_code& error) {
  const std::error_condition condition = error.default_error_condition();
  return condition.category() == std::generic_category() ? base::CauseOfErrno(condition.value())
                                                         : base::Failure::Cause::Other;
}

}  // namespace

fs::path FileSystemPath(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + base::kPathSeparator + name;
}

bool HoldsRecording(const std::string& folder) {
  std::error_code error;
  return fs::exists(FileSystemPath(InFolder(folder, std::string(kDescriptionName))), error) ||
         !SegmentNumbers(folder).empty();
}

base::Result<> RecordingFolderUsable(const std::string& folder) {
  std::error_code error;
  if (folder.empty()) return Refused(folder, "no folder named");
  const fs::file_status status = fs::status(FileSystemPath(folder), error);
  if (!fs::exists(status)) return {};
  if (!fs::is_directory(status))
    return Refused(folder, "not a folder", base::Failure::Cause::NotAFolder);
  if (HoldsRecording(folder)) {
    return Refused(folder,
                   "holds a recording already (it is never overwritten): name a new "
                   "folder",
                   base::Failure::Cause::RecordingExists);
  }
  return {};
}

base::Result<> MakeRecordingFolder(const std::string& folder) {
  if (auto usable = RecordingFolderUsable(folder); !usable) return usable;
  std::error_code error;
  const fs::path path = FileSystemPath(folder);
  if (fs::is_directory(path, error)) return {};
  if (!fs::create_directories(path, error) && error) {
    const base::Failure::Cause cause = CauseOf(error);
    return Refused(
        folder, error.message(),
        cause == base::Failure::Cause::Other ? base::Failure::Cause::FolderNotMade : cause);
  }
  return {};
}

std::string NearestExistingFolder(const std::string& folder) {
  std::error_code error;
  fs::path path = fs::absolute(FileSystemPath(folder), error);
  if (error) return folder;
  while (!fs::exists(path, error) && path.has_parent_path() && path.parent_path() != path) {
    path = path.parent_path();
  }
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string FreeRecordingFolder(const std::string& folder) {
  std::string candidate = folder;
  for (int n = 2; HoldsRecording(candidate) && n < 10000; ++n) {
    candidate = folder + "-" + std::to_string(n);
  }
  return candidate;
}

std::vector<int> SegmentNumbers(const std::string& folder) {
  std::vector<int> numbers;
  std::error_code error;
  for (fs::directory_iterator it(FileSystemPath(folder), error), end; !error && it != end;
       it.increment(error)) {
    const std::u8string name = it->path().filename().u8string();
    if (auto n = SegmentNumber(std::string(name.begin(), name.end()))) numbers.push_back(*n);
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::optional<uint64_t> FreeBytes(const std::string& folder) {
  std::error_code error;
  const fs::space_info space = fs::space(FileSystemPath(folder), error);
  if (error) return std::nullopt;
  return static_cast<uint64_t>(space.available);
}

}  // namespace recording
