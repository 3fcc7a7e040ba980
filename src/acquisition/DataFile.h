// The data files: their names and their bytes. They are written whole or not at all
// (base::WriteWholeFile).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace acquisition {

// "KZB7315 0.txt": the file number in the signed-column form, space included.
std::string DataFileName(int16_t fileNumber);
std::string DataFilePath(const std::string& directory, int16_t fileNumber);
// Replaces `out` with the file's bytes: the header record, then per block a separator record
// and one record per sample point with the codes of channels 0 to 3. `codes` holds the
// gathered blocks one after another, each `points` rows of four codes.
void FormatDataFile(std::string& out, const uint16_t* codes, int blocks, int channels, int points);

// Temporary files of data files that a killed program left behind, recovered (see
// base::RecoverLeftoverFiles); a line for each file kept, for standard error.
std::vector<std::string> RecoverLeftoverDataFiles(const std::string& directory);

}  // namespace acquisition
