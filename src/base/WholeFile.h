// Writing a file whole or not at all: the bytes go into a temporary file created afresh
// beside the final name, are flushed to disk, and the temporary file is moved over the
// final name, so a reader only ever finds the earlier file whole or the new one whole.
// Temporary files that a killed program left behind are recovered at the next start.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Failure.h"

namespace base {

extern const char kPathSeparator;     // the one the program writes
extern const char kPathSeparators[];  // every one a path may hold

// The last part of a path: "KZB7315 0.txt" of "/tmp/KZB7315 0.txt"; and the folder before it.
std::string FileNameOfPath(const std::string& path);
std::string DirectoryOfPath(const std::string& path);

// ".KZB7315 0.txt.Ab3xQz.part": hidden, named after its file, and never taken for one.
std::string TemporaryName(std::string_view finalName, std::string_view tag);
// A temporary name of a file whose name starts with `finalPrefix`.
bool IsTemporaryName(std::string_view name, std::string_view finalPrefix);
// ".KZB7315 0.txt.Ab3xQz.part" is kept as "KZB7315 0 (recovered Ab3xQz).txt".
std::string RecoveredName(std::string_view temporaryName);

// A file whose bytes all sit in a new temporary file beside its final name. Nothing at the
// final name has been opened or changed yet.
struct PendingFile {
  intptr_t handle = -1;  // the open temporary file
  std::string temporaryPath;
  std::string finalPath;
};

// The quick part of the checks below, for the window's thread: the folder is there, and no
// directory or read-only file holds the final name.
Result<> CheckWriteTarget(const std::string& finalPath);
// Writes the bytes into a temporary file created afresh in the final name's directory,
// checking every write. Refuses when a directory or a read-only file holds the final
// name. Never opens the final name, so nothing planted there (a FIFO, a link) is used.
Result<PendingFile> WriteTemporaryFile(const std::string& finalPath, std::string_view bytes);
// More bytes at the end of the temporary file (a file too large to hold in memory).
Result<> AppendToTemporaryFile(PendingFile& file, std::string_view bytes);
// Flushes the temporary file to disk and moves it over the final name, replacing what was
// there. On failure the temporary file is removed and the earlier file stays as it was.
Result<> CommitFile(PendingFile& file);
// Closes and removes the temporary file; the final name stays as it was.
void DiscardFile(PendingFile& file);
// Both steps at once.
Result<> WriteWholeFile(const std::string& path, std::string_view bytes);
// Whether a whole file can later be written at `path`, tried with an empty temporary file:
// nothing may be there but a writable regular file (no directory, device, FIFO or link,
// which a whole-file write would replace), in a folder that takes a new file.
Result<> CheckFilePlace(const std::string& path);

// Temporary files of files named `finalPrefix`... left behind by a program that was killed
// while writing: an empty one is removed; one with data is kept under a name of its own
// (RecoveredName), since it may hold a whole file that never got its name. One that another
// running program still holds is left alone. Returns a line for each file kept.
std::vector<std::string> RecoverLeftoverFiles(const std::string& directory,
                                              std::string_view finalPrefix);

}  // namespace base
