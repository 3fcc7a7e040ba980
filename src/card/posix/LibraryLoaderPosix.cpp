#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "LibraryImage.h"
#include "LibraryLoader.h"

namespace card::loader {

namespace {

using base::Failure;

Failure Refused(const std::string& path, std::string reason, Failure::Cause cause) {
  return Failure{Failure::Kind::CardLibraryMissing, path, std::move(reason), cause};
}

Failure SystemRefused(const std::string& path, int error) {
  return Refused(path, std::strerror(error), base::CauseOfErrno(error));
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The whole file, read with plain reads (never a mapping, which dies on a page past the
// end). A file that is shorter or longer than it said, or written to while it was read (an
// update under way), is refused rather than taken in part.
base::Result<std::string> ReadWhole(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return SystemRefused(path, errno);
  struct stat before;
  if (fstat(fd, &before) != 0) {
    const int error = errno;
    close(fd);
    return SystemRefused(path, error);
  }
  if (!S_ISREG(before.st_mode)) {
    close(fd);
    return Refused(path, "not a regular file", Failure::Cause::Other);
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(before.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      return SystemRefused(path, error);
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  struct stat after;
  const bool statted = fstat(fd, &after) == 0;
  close(fd);
  const auto expected = static_cast<uint64_t>(before.st_size);
  if (!statted || bytes.size() != expected || after.st_size != before.st_size ||
      !SameTime(after.st_mtim, before.st_mtim)) {
    return Refused(path,
                   "the file changed while it was read (" + std::to_string(expected) + " bytes, " +
                       std::to_string(bytes.size()) + " read)",
                   Failure::Cause::LibraryDamaged);
  }
  return bytes;
}

// A private copy of the library's bytes in memory, or -1 with errno set.
int Snapshot(const std::string& bytes) {
  const int copy = memfd_create("adcard", MFD_CLOEXEC);
  if (copy < 0) return -1;
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(copy, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      close(copy);
      errno = error;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return copy;
}

// What this program is built as, from its own file's headers.
const ImageKind& OwnKind() {
  static const ImageKind kind = [] {
    char headers[64];
    ssize_t n = -1;
    if (const int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC); fd >= 0) {
      n = pread(fd, headers, sizeof headers, 0);
      close(fd);
    }
    const ImageCheck own = ImageKindOfHeaders(std::string_view(headers, n > 0 ? n : 0));
    return own.shape == ImageCheck::Shape::Whole ? own.kind : ImageKind{};
  }();
  return kind;
}

// The loader's words without the snapshot's name: the path is the failure's subject, so a
// leading name goes, and any other is the operator's file.
std::string LoaderWords(std::string words, const std::string& mapped, const std::string& path) {
  if (words.starts_with(mapped + ": ")) words.erase(0, mapped.size() + 2);
  for (size_t at; (at = words.find(mapped)) != std::string::npos;) {
    words.replace(at, mapped.size(), path);
  }
  return words;
}

}  // namespace

// The card library is loaded from a private snapshot of its file: `cp` over the file
// rewrites it in place, under the pages the loader mapped, and would crash the program. A
// library replaced while the program runs is used after a restart. A library this process
// already has (a test linked with the simulated card) is used as it is.
//
// The snapshot is checked before the system maps it: its headers, tables and segments must
// all lie within the file. A library of this program's kind goes to the loader only whole;
// anything else goes there to be refused in the system's own words.
base::Result<void*> Open(const std::string& path) {
  if (void* loaded = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD)) return loaded;
  const base::Result<std::string> bytes = ReadWhole(path);
  if (!bytes) return bytes.failure();
  const ImageCheck image = CheckLibraryImage(bytes.value());
  if (image.shape == ImageCheck::Shape::Truncated) {
    return Refused(path, "incomplete: " + image.fault, Failure::Cause::LibraryDamaged);
  }
  const bool ours = image.shape == ImageCheck::Shape::Whole && image.kind == OwnKind();
  const int snapshot = Snapshot(bytes.value());
  if (snapshot < 0) return SystemRefused(path, errno);
  const std::string mapped = "/proc/self/fd/" + std::to_string(snapshot);
  void* handle = dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
  close(snapshot);  // the mapping stays
  if (handle) return handle;
  const char* why = dlerror();
  // A whole library of this kind that still does not load lacks something of its own (a
  // library it needs, a symbol): the system's words say which.
  std::string words = LoaderWords(why ? why : "unknown reason", mapped, path);
  if (image.shape == ImageCheck::Shape::Whole && !ours) {
    words += "; a library for " + image.kind.Text() + ", this program is " + OwnKind().Text();
  }
  return Refused(path, words, ours ? Failure::Cause::Other : Failure::Cause::LibraryDamaged);
}

void Close(void* handle) {
  dlclose(handle);
}

void* Symbol(void* handle, const std::string& name) {
  return dlsym(handle, name.c_str());
}

std::vector<std::string> ExportedNames(const EntryPointInfo& entry) {
  return {std::string(entry.name)};
}

// Through /proc/self/exe, so a link to the program elsewhere still finds its own folder.
std::string ExecutableDirectory() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return {};
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace card::loader
