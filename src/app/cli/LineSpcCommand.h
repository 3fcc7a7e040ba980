// --results --line --format spc|spc-csv|spc-json: the line's process report, per figure,
// station and the whole line, from the line's figures (LineStore::Figures, spc::SpcReport).
#pragma once

#include <string>

namespace line {
class LineStore;
struct FigureFilter;
}  // namespace line

// spc (a table), spc-csv or spc-json.
bool IsSpcFormat(const std::string& format);

// Prints the report in `format` to standard output; the exit status (2: the line could not
// be read, said on standard error).
int PrintLineSpc(const line::LineStore& store, const std::string& format,
                 const line::FigureFilter& figures);
