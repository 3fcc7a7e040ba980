#include "WholeFile.h"

#include <filesystem>
#include <random>

#include "FilePlatform.h"

namespace base {

namespace {

constexpr std::string_view kTemporarySuffix = ".part";

// The platform's reason, told about the file the caller asked for.
Failure About(const std::string& finalPath, Failure failure) {
  failure.kind = Failure::Kind::FileNotWritten;
  failure.subject = finalPath;
  return failure;
}

std::string RandomTag() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static thread_local std::minstd_rand random{std::random_device{}()};
  std::string tag(6, ' ');
  for (char& c : tag) c = kLetters[random() % (sizeof kLetters - 1)];
  return tag;
}

}  // namespace

std::string FileNameOfPath(const std::string& path) {
  return path.substr(path.find_last_of(kPathSeparators) + 1);
}

std::string DirectoryOfPath(const std::string& path) {
  const size_t separator = path.find_last_of(kPathSeparators);
  if (separator == std::string::npos) return ".";
  return path.substr(0, separator == 0 ? 1 : separator);
}

std::string TemporaryName(std::string_view finalName, std::string_view tag) {
  std::string name = ".";
  name += finalName;
  name += '.';
  name += tag;
  name += kTemporarySuffix;
  return name;
}

bool IsTemporaryName(std::string_view name, std::string_view finalPrefix) {
  return name.starts_with('.') && name.substr(1).starts_with(finalPrefix) &&
         name.ends_with(kTemporarySuffix);
}

std::string RecoveredName(std::string_view temporaryName) {
  std::string_view name = temporaryName;
  if (name.starts_with('.')) name.remove_prefix(1);
  if (name.ends_with(kTemporarySuffix)) name.remove_suffix(kTemporarySuffix.size());
  const size_t dot = name.rfind('.');
  const std::string_view finalName = name.substr(0, dot);
  const std::string_view tag = dot == std::string_view::npos ? "" : name.substr(dot + 1);
  const size_t extension = finalName.rfind('.');
  const std::string_view stem = finalName.substr(0, extension);
  const std::string_view type =
      extension == std::string_view::npos ? "" : finalName.substr(extension);
  return std::string(stem) + " (recovered " + std::string(tag) + ")" + std::string(type);
}

Result<PendingFile> WriteTemporaryFile(const std::string& finalPath, std::string_view bytes) {
  if (auto target = CheckWriteTarget(finalPath); !target) return target.failure();
  PendingFile file;
  file.finalPath = finalPath;
  const std::string directory = DirectoryOfPath(finalPath);
  const std::string separator =
      directory.ends_with(kPathSeparators[0]) ? "" : std::string(1, kPathSeparator);
  // The name is ours alone once created; another program's, or a planted one, is skipped.
  Result<intptr_t> created = Failure{};
  for (int attempt = 0; attempt < 100; ++attempt) {
    file.temporaryPath =
        directory + separator + TemporaryName(FileNameOfPath(finalPath), RandomTag());
    bool nameTaken = false;
    created = platform::CreateExclusive(file.temporaryPath, nameTaken);
    if (created || !nameTaken) break;
  }
  if (!created) return About(finalPath, created.failure());
  if (auto written = platform::WriteAll(created.value(), bytes); !written) {
    platform::Close(created.value());
    platform::Remove(file.temporaryPath);
    return About(finalPath, written.failure());
  }
  file.handle = created.value();
  return file;
}

Result<> AppendToTemporaryFile(PendingFile& file, std::string_view bytes) {
  if (auto written = platform::WriteAll(file.handle, bytes); !written) {
    return About(file.finalPath, written.failure());
  }
  return {};
}

Result<> CommitFile(PendingFile& file) {
  const intptr_t handle = file.handle;
  file.handle = -1;
  Result<> done = platform::FlushAndClose(handle);
  if (done) done = platform::MoveOver(file.temporaryPath, file.finalPath);
  if (!done) {
    platform::Remove(file.temporaryPath);
    return About(file.finalPath, done.failure());
  }
  return {};
}

void DiscardFile(PendingFile& file) {
  if (file.handle == -1) return;
  platform::Close(file.handle);
  file.handle = -1;
  platform::Remove(file.temporaryPath);
}

Result<> WriteWholeFile(const std::string& path, std::string_view bytes) {
  auto pending = WriteTemporaryFile(path, bytes);
  if (!pending) return pending.failure();
  return CommitFile(pending.value());
}

Result<> CheckFilePlace(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status there =
      fs::symlink_status(fs::path(std::u8string(path.begin(), path.end())), error);
  if (!error && fs::exists(there) && !fs::is_regular_file(there)) {
    return Failure{Failure::Kind::FileNotWritten, path,
                   "not a regular file: only a new file or a regular one is written"};
  }
  auto probe = WriteTemporaryFile(path, {});
  if (!probe) return probe.failure();
  DiscardFile(probe.value());
  return {};
}

}  // namespace base
