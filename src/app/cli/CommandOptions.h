// The command line's options as given, read one at a time before they are held against
// each other: which entry each names, with its values, and the usage text --help prints.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ExportCommand.h"
#include "LineFigures.h"
#include "RecordCommand.h"
#include "ResultsStore.h"

struct SelfTestArguments {
  std::string profile, report, junit, serial, operatorName;
};

// The options as given, before they are held against each other.
struct Options {
  bool selfTest = false, listResults = false;
  SelfTestArguments selfTestArgs;
  bool forSelfTest = false;  // an option that only --self-test takes
  results::Filter filter;
  std::string format = "table";
  bool forResults = false;   // an option that only --results takes
  bool sinceGiven = false;   // --since, even with an empty time
  bool line = false;         // --results --line: the line's database
  std::string lineProfile;   // the profile whose [line] names it
  bool retry = false;        // --line-retry: the refused runs sent again
  std::string retryProfile;  // the profile whose [line] takes them
  bool record = false;
  RecordArguments recordArgs;
  bool forRecord = false;  // an option that only --record takes
  bool exportGiven = false, forExport = false, formatGiven = false;
  ExportArguments exportArgs;

  line::FigureFilter figures;  // --figure, and --station with --results
  std::string runs;            // --runs N
  bool forSpc = false;         // an option that only the process report takes
};

// Reads every option of `args` into `o` and `choice`; gives an exit status where the command
// line ends at one (--help, --version, a fault).
std::optional<int> ReadOptions(const std::vector<std::string>& args, Options& o,
                               WindowChoice& choice);
