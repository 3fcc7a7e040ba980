// The data files: their name, their bytes, and writing them so that a reader only ever
// finds an earlier file whole or the new one whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Failure.h"

namespace acquisition {

// Where the data files go by default, and how the window names that directory.
std::string DefaultDataDirectory();
std::string DirectoryCaption(const std::string& directory);

// "KZB7315 0.txt": the file number in the signed-column form, space included.
std::string DataFileName(int16_t fileNumber);
std::string DataFilePath(const std::string& directory, int16_t fileNumber);
// The last part of a path: "KZB7315 0.txt" of "/tmp/KZB7315 0.txt".
std::string FileNameOfPath(const std::string& path);

// UTF-8 to GBK (code page 936), the encoding the files' readers expect.
// Returns false, leaving `out` untouched, when the converter refuses.
bool ToGbk(std::string_view utf8, std::string& out);

// Replaces `out` with the file's bytes: the header record, then per block a separator record
// and one record per sample point with the codes of channels 0 to 3. `codes` holds the
// gathered blocks one after another, each `points` rows of four codes.
void FormatDataFile(std::string& out, const uint16_t* codes, int blocks, int channels, int points);

// A file whose bytes all sit in a new temporary file beside its final name. Nothing at the
// final name has been opened or changed yet.
struct PendingFile {
  intptr_t handle = -1;  // the open temporary file
  std::string temporaryPath;
  std::string finalPath;
};

// The quick part of the checks below, for the window's thread: the folder is there, and no
// directory or read-only file holds the final name.
base::Result<> CheckWriteTarget(const std::string& finalPath);
// Writes the bytes into a temporary file created afresh in the final name's directory,
// checking every write. Refuses when a directory or a read-only file holds the final
// name. Never opens the final name, so nothing planted there (a FIFO, a link) is used.
base::Result<PendingFile> WriteTemporaryFile(const std::string& finalPath, std::string_view bytes);
// Flushes the temporary file to disk and moves it over the final name, replacing what was
// there. On failure the temporary file is removed and the earlier file stays as it was.
base::Result<> CommitFile(PendingFile& file);
// Closes and removes the temporary file; the final name stays as it was.
void DiscardFile(PendingFile& file);
// Both steps at once.
base::Result<> WriteWholeFile(const std::string& path, std::string_view bytes);
// Whether a whole file can later be written at `path`, tried with an empty temporary file:
// nothing may be there but a writable regular file (no directory, device, FIFO or link,
// which a whole-file write would replace), in a folder that takes a new file.
base::Result<> CheckFilePlace(const std::string& path);

// Temporary files left behind by a program that was killed while writing: an empty one is
// removed; one with data is kept under a name of its own (RecoveredName), since it may hold
// a whole file that never got its name. One that another running program still holds is
// left alone. Returns a line for each file kept, for standard error.
std::vector<std::string> RecoverLeftoverFiles(const std::string& directory);
// ".KZB7315 0.txt.Ab3xQz.part" is kept as "KZB7315 0 (recovered Ab3xQz).txt".
std::string RecoveredName(std::string_view temporaryName);

}  // namespace acquisition
