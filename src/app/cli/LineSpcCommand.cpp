#include "LineSpcCommand.h"

#include <cstdio>
#include <utility>

#include "LineFigures.h"
#include "LineStore.h"
#include "SpcReport.h"

bool IsSpcFormat(const std::string& format) {
  return format == "spc" || format == "spc-csv" || format == "spc-json";
}

int PrintLineSpc(const line::LineStore& store, const std::string& format,
                 const line::FigureFilter& figures) {
  auto samples = store.Figures(figures);
  if (!samples) {
    std::fprintf(stderr, "kzb7310: 无法读取全线数据库 the line cannot be read: %s: %s\n",
                 samples.failure().subject.c_str(), samples.failure().reason.c_str());
    return 2;
  }
  // One station's series is the whole of what was asked: no line's series beside it.
  const spc::Report report =
      spc::SeriesOf(std::move(samples.value()), figures.newestRuns, figures.station.empty());
  const std::vector<spc::Series>& series = report.series;
  const std::string text = format == "spc-csv"    ? spc::SpcCsv(series)
                           : format == "spc-json" ? spc::SpcJson(series, !figures.figure.empty())
                                                  : spc::SpcTable(series);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
