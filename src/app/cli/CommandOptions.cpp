#include "CommandOptions.h"

#include <cstdio>

#include "ShownInput.h"

namespace {

constexpr const char* kUsage =
    "用法 Usage: kzb7310 [--self-test [PROFILE] [--report FILE] [--report-junit FILE]\n"
    "                      [--serial S] [--operator NAME]]\n"
    "       kzb7310 --results [--serial S] [--since DATE] [--format table|csv|junit]\n"
    "                         [--line [PROFILE]]\n"
    "       kzb7310 --results --line [PROFILE] --format spc|spc-csv|spc-json\n"
    "                         [--figure NAME] [--station S] [--since DATE] [--runs N]\n"
    "       kzb7310 --station [PROFILE]\n"
    "       kzb7310 --line-retry PROFILE\n"
    "       kzb7310 --record FOLDER [--duration 8h] [--size 2G] [--profile PROFILE]\n"
    "                       [--trigger SETUP [--pre 10s] [--post 30s] [--only-triggered]]\n"
    "       kzb7310 --view FOLDER\n"
    "       kzb7310 --export FOLDER --format hdf5|csv|wav|npy [--from T] [--to T]\n"
    "               [--channels LIST] [--volts] --out FILE\n"
    "       kzb7310 --line-monitor PROFILE\n"
    "       kzb7310 [--help] [--version]\n"
    "\n"
    "  (no option)        open the window (KZB7310测试及编程源程序)\n"
    "  --self-test        check the card against PROFILE (default: the simulated card's\n"
    "                     profile) without opening a window; exit 0 PASS, 1 FAIL,\n"
    "                     2 not run, 3 ABORTED (interrupted), 4 report or results not\n"
    "                     written\n"
    "  --report FILE      with --self-test: write the results as JSON to FILE (a new file\n"
    "                     or a regular one; checked before the card is touched)\n"
    "  --report-junit FILE  with --self-test: write the results as JUnit XML to FILE, for\n"
    "                     CI servers and test dashboards (the same rules as --report)\n"
    "  --station          open the production station (KZB7310生产测试) on PROFILE: scan\n"
    "                     a serial, Enter tests the card, every run is stored\n"
    "  --results          print the stored runs (oldest first) and end; with --serial S,\n"
    "                     --since DATE (2026-12-09 or 2026-12-09T08:00:00Z, UTC) and\n"
    "                     --format table|csv|junit; nothing is created by reading\n"
    "  --line [PROFILE]   with --results: the line's runs, from the PostgreSQL database\n"
    "                     PROFILE's [line] names (else libpq's PGHOST, PGSERVICE, ...);\n"
    "                     --format report|report-csv: per day and station the runs and\n"
    "                     yields, the retested serials, the stations whose clocks are off;\n"
    "                     --format spc|spc-csv|spc-json: each figure's process control per\n"
    "                     station and for the line (mean, sigma, Cp, Cpk, chart, run\n"
    "                     rules), only NAME's with --figure, only S's with --station,\n"
    "                     over each series' newest N runs with --runs\n"
    "  --line-retry PROFILE  send the runs the line refused again, with every run still\n"
    "                     waiting on this PC, to PROFILE's [line]; exit 0 when the line has\n"
    "                     them all, 1 when some still wait or are refused, 2 not run\n"
    "  --record FOLDER    record every block of all 64 channels into FOLDER (made when\n"
    "                     missing; one holding a recording is refused) without a window,\n"
    "                     until --duration (8h, 90m, 1h30m, 45s) or --size (2G, 500M) is\n"
    "                     reached or Ctrl+C; exit 0 done, 1 ended early by the disk or the\n"
    "                     card, 2 not started, 3 interrupted before its limit, 4 not written\n"
    "  --trigger SETUP     with --record: each trigger (ch5,rising,1.5V) an event in it;\n"
    "                     --only-triggered keeps only --pre..--post around each trigger\n"
    "  --view FOLDER      open the recording in FOLDER (记录查看): any 4 of its channels,\n"
    "                     zoomed down to single samples, exported as CSV or WAV\n"
    "  --export FOLDER    write the recording in FOLDER for analysis tools to --out FILE:\n"
    "                     hdf5 (codes as uint16, or float32 volts with --volts), csv (volts;\n"
    "                     FILE-2.csv ... past 1,048,576 rows), wav (16-bit codes), npy (int16\n"
    "                     codes, or --volts, with FILE.json); --from/--to as seconds from the\n"
    "                     start (90, 1h30m) or a moment (2026-12-10T14:22:17Z); --channels as\n"
    "                     1-16,33,40 (default all 64). Written whole or not at all\n"
    "  --line-monitor PROFILE  open the line monitor (全线看板) on the line PROFILE's\n"
    "                     [line] names, read-only (a role granted kzb_reader): each\n"
    "                     station's state, the yields, the failures, a figure's chart\n"
    "  --serial S         with --self-test: the serial number of the card under test, for\n"
    "                     the report (a profile's serial_pattern must match it whole)\n"
    "  --operator NAME    with --self-test: who runs the test, for the report\n"
    "  --version          print the version\n"
    "  --help             print this text\n";

// Reads args[i] and the value that follows it when it is an option that takes one, the
// status (a missing value) in `status`; false when it is another.
bool ReadValued(const std::vector<std::string>& args, size_t& i, Options& o, WindowChoice& choice,
                std::optional<int>& status) {
  const std::string& arg = args[i];
  const auto value = [&](std::string& into, bool& group) -> std::optional<int> {
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "kzb7310: %s needs a value\n", arg.c_str());
      return 2;
    }
    into = args[++i];
    group = true;
    return std::nullopt;
  };
  SelfTestArguments& st = o.selfTestArgs;
  if (arg == "--figure" || arg == "--runs") {
    o.forResults = true;
    status = value(arg == "--figure" ? o.figures.figure : o.runs, o.forSpc);
  } else if (arg == "--line-retry") {
    status = value(o.retryProfile, o.retry);
  } else if (arg == "--view") {
    bool given = false;
    status = value(choice.view, given);
  } else if (arg == "--line-monitor") {
    bool given = false;
    status = value(choice.monitorProfile, given);
  } else if (arg == "--record") {
    status = value(o.recordArgs.folder, o.record);
  } else if (arg == "--duration" || arg == "--size" || arg == "--profile" || arg == "--trigger" ||
             arg == "--pre" || arg == "--post") {
    RecordArguments& r = o.recordArgs;
    status = value(arg == "--duration"  ? r.duration
                   : arg == "--size"    ? r.size
                   : arg == "--trigger" ? r.trigger
                   : arg == "--pre"     ? r.pre
                   : arg == "--post"    ? r.post
                                        : r.profile,
                   o.forRecord);
  } else if (arg == "--export") {
    status = value(o.exportArgs.folder, o.exportGiven);
  } else if (arg == "--from" || arg == "--to" || arg == "--channels" || arg == "--out") {
    ExportArguments& e = o.exportArgs;
    status = value(arg == "--from"       ? e.from
                   : arg == "--to"       ? e.to
                   : arg == "--channels" ? e.channels
                                         : e.out,
                   o.forExport);
  } else if (arg == "--since" || arg == "--format") {
    o.sinceGiven = o.sinceGiven || arg == "--since";
    o.formatGiven = o.formatGiven || arg == "--format";
    status = value(arg == "--since" ? o.filter.since : o.format, o.forResults);
  } else if (arg == "--report" || arg == "--report-junit" || arg == "--serial" ||
             arg == "--operator") {
    status = value(arg == "--report"         ? st.report
                   : arg == "--report-junit" ? st.junit
                   : arg == "--serial"       ? st.serial
                                             : st.operatorName,
                   o.forSelfTest);
  } else {
    return false;
  }
  return true;
}

// Reads one option at args[i] (and its value); gives an exit status where the command line
// ends there (--help, --version, a fault).
std::optional<int> ReadOption(const std::vector<std::string>& args, size_t& i, Options& o,
                              WindowChoice& choice) {
  const std::string& arg = args[i];
  const bool valueFollows = i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0;
  if (arg == "--help" || arg == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (arg == "--version") {
    std::printf("kzb7310 %s\n", KZB_VERSION);
    return 0;
  }
  std::optional<int> status;
  if (arg == "--self-test") {
    o.selfTest = true;
    if (valueFollows) o.selfTestArgs.profile = args[++i];
  } else if (arg == "--station") {
    choice.station = true;
    if (valueFollows) choice.profile = args[++i];
  } else if (arg == "--results") {
    o.listResults = true;
  } else if (arg == "--line") {
    o.line = o.forResults = true;
    if (valueFollows) o.lineProfile = args[++i];
  } else if (arg == "--volts") {
    o.exportArgs.volts = o.forExport = true;
  } else if (arg == "--only-triggered") {
    o.recordArgs.onlyTriggered = o.forRecord = true;
  } else if (ReadValued(args, i, o, choice, status)) {
    return status;
  } else if (arg.rfind("--", 0) == 0) {
    std::fprintf(stderr, "kzb7310: unknown option %s\n\n%s", base::ShownInput(arg).c_str(), kUsage);
    return 2;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> ReadOptions(const std::vector<std::string>& args, Options& o,
                               WindowChoice& choice) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (auto status = ReadOption(args, i, o, choice)) return status;
  }
  return std::nullopt;
}
