// The data files: their name, their bytes, and writing them safely.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace acquisition {

// Where the data files go by default, and how the window names that directory.
std::string DefaultDataDirectory();
std::string DirectoryCaption(const std::string& directory);

// "KZB7315 0.txt": the file number in the signed-column form, space included.
std::string DataFileName(int16_t fileNumber);
std::string DataFilePath(const std::string& directory, int16_t fileNumber);

// UTF-8 to GBK (code page 936), the encoding the files' readers expect.
// Returns false, leaving `out` untouched, when the converter refuses.
bool ToGbk(std::string_view utf8, std::string& out);

// Replaces `out` with the file's bytes: the header record, then per block a separator record
// and one record per sample point with the codes of channels 0 to 3. `saveBuf` holds the
// gathered blocks slot after slot, `slotCells` cells apart, codes as floats.
void FormatDataFile(std::string& out, const float* saveBuf, int slotCells, int blocks, int channels,
                    int points);

// Creates or truncates the file and writes all of it, refusing to follow a symbolic link
// at that name. Every write and the close are checked; on failure `error` says why.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace acquisition
