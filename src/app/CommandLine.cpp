#include "CommandLine.h"

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "Console.h"
#include "DataDirectory.h"
#include "DefaultProfile.h"
#include "DllDef.h"
#include "ProductionCheck.h"
#include "Report.h"
#include "ResultsStore.h"
#include "RunId.h"
#include "SerialPattern.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"
#include "WholeFile.h"

namespace {

constexpr const char* kUsage =
    "用法 Usage: kzb7310 [--self-test [PROFILE] [--report FILE] [--report-junit FILE]\n"
    "                      [--serial S] [--operator NAME]]\n"
    "       kzb7310 --results [--serial S] [--since DATE] [--format table|csv|junit]\n"
    "       kzb7310 --station [PROFILE]\n"
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
    "  --serial S         with --self-test: the serial number of the card under test, for\n"
    "                     the report (a profile's serial_pattern must match it whole)\n"
    "  --operator NAME    with --self-test: who runs the test, for the report\n"
    "  --version          print the version\n"
    "  --help             print this text\n";

std::string NowIso8601() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
}

// The exit status of each verdict; a report that could not be written has one of its own.
int ExitStatus(selftest::Verdict verdict) {
  switch (verdict) {
    case selftest::Verdict::Pass:
      return 0;
    case selftest::Verdict::Fail:
      return 1;
    case selftest::Verdict::NotRun:
      return 2;
    case selftest::Verdict::Aborted:
      break;
  }
  return 3;
}
constexpr int kReportNotWritten = 4;

int NotRun(const char* what, const std::string& subject, const std::string& reason) {
  std::fprintf(stderr, "kzb7310: %s: %s: %s\n", what, subject.c_str(), reason.c_str());
  return 2;
}

base::Result<std::string> StoreRun(const selftest::RunRecord& run) {
  auto store = results::ResultsStore::Open(results::DefaultResultsPath());
  if (!store) return store.failure();
  return store.value()->Save(run);
}

// The history from the results database, as a table, CSV or JUnit XML.
int PrintResults(const results::Filter& filter, const std::string& format) {
  if (format != "table" && format != "csv" && format != "junit") {
    std::fprintf(stderr, "kzb7310: --format is table, csv or junit, not %s\n", format.c_str());
    return 2;
  }
  // Reading creates nothing: a path that holds no database is said, not made.
  auto store = results::ResultsStore::OpenForReading(results::DefaultResultsPath());
  if (!store) {
    std::fprintf(stderr, "kzb7310: 无法打开结果数据库 results cannot be read: %s: %s\n",
                 store.failure().subject.c_str(), store.failure().reason.c_str());
    return 2;
  }
  const auto runs = store.value()->Runs(filter);
  if (!runs) {
    std::fprintf(stderr, "kzb7310: 无法读取结果 results cannot be read: %s: %s\n",
                 runs.failure().subject.c_str(), runs.failure().reason.c_str());
    return 2;
  }
  const std::string text = format == "csv"     ? selftest::HistoryCsv(runs.value())
                           : format == "junit" ? selftest::JUnitXml(runs.value())
                                               : selftest::HistoryTable(runs.value());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

struct SelfTestArguments {
  std::string profile, report, junit, serial, operatorName;
};

int SelfTest(const SelfTestArguments& args) {
  const std::string& profilePath = args.profile;
  const std::string& reportPath = args.report;
  const std::string started = NowIso8601();
  const auto startedAt = std::chrono::steady_clock::now();
  const auto profile = profilePath.empty()
                           ? selftest::ParseProfile(kDefaultProfile, "simulated-card.ini")
                           : selftest::LoadProfile(profilePath);
  if (!profile) {
    return NotRun("自检配置无法使用 profile refused", profile.failure().subject,
                  profile.failure().reason);
  }
  // A serial number the profile does not accept would file the result under a wrong card.
  const bool serialRequired = !profile.value().serialPattern.empty();
  if (serialRequired || !args.serial.empty()) {
    if (const auto refusal = selftest::SerialRefusal(profile.value().serialPattern, args.serial)) {
      return NotRun("序列号不符合自检配置，自检未运行 serial number refused, nothing run",
                    "'" + args.serial + "'", *refusal);
    }
  }
  // The report is part of the result: its place is tried before the card is touched.
  for (const std::string& path : {reportPath, args.junit}) {
    if (path.empty()) continue;
    if (auto place = base::CheckFilePlace(path); !place) {
      return NotRun("报告无法写入，自检未运行 report cannot be written, nothing run", path,
                    place.failure().reason);
    }
  }
  static std::atomic<bool> interrupted{false};
  SetFlagOnTermination(&interrupted);
  DllDef dll;
  SingleInstance instance(dll.library().path(), acquisition::DefaultDataDirectory());
  if (instance.state() == SingleInstance::State::AlreadyRuns) {
    return NotRun("板卡正由另一个程序使用，自检未运行 the card is in use, nothing run",
                  "进程 " + instance.holderProcess() +
                      (instance.holderUser().empty() ? "" : "，用户 " + instance.holderUser()),
                  "数据目录 " + instance.holderDirectory());
  }
  if (instance.state() == SingleInstance::State::NoLock) {
    return NotRun("无法确认板卡没有被另一个程序使用 the card lock cannot be made, nothing run",
                  dll.library().path(), instance.holder());
  }
  std::printf("KZB7310 自检 self-test %s, %s\n", KZB_VERSION, dll.library().path().c_str());
  std::fflush(stdout);
  const selftest::Outcome outcome = selftest::Run(
      dll, profile.value(), selftest::SystemClock(),
      [](const std::string& check) {
        std::printf("检查 %s …\n", selftest::CheckTitle(check).c_str());
        std::fflush(stdout);
      },
      interrupted);
  std::fputs(selftest::Table(outcome, profile.value()).c_str(), stdout);
  std::fflush(stdout);
  selftest::RunInfo info{
      .runId = selftest::NewRunId(),
      .version = KZB_VERSION,
      .startedIso8601 = started,
      .endedIso8601 = NowIso8601(),
      .durationSeconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count(),
      .serial = args.serial,
      .station = selftest::StationName(profile.value()),
      .operatorName = args.operatorName,
      .cardLibrary = dll.library().path(),
  };
  int status = ExitStatus(outcome.verdict());
  // Every run is kept on the station. A database that cannot take it costs nothing else:
  // the reports are still written, and the operator is told.
  if (auto stored = StoreRun(selftest::RecordOf(outcome, profile.value(), info)); !stored) {
    std::fprintf(stderr, "kzb7310: 结果未存入数据库 results NOT stored: %s: %s\n",
                 stored.failure().subject.c_str(), stored.failure().reason.c_str());
    std::printf("结果未存入数据库 (results not stored: %s)\n", stored.failure().subject.c_str());
    status = kReportNotWritten;
  }
  // Both reports are tried, so that one that fails does not cost the other.
  const std::pair<const std::string&, std::string> reports[] = {
      {reportPath, reportPath.empty() ? "" : selftest::Json(outcome, profile.value(), info)},
      {args.junit, args.junit.empty() ? "" : selftest::JUnitXml(outcome, profile.value(), info)},
  };
  for (const auto& [path, text] : reports) {
    if (path.empty()) continue;
    if (auto written = base::WriteWholeFile(path, text); !written) {
      std::fprintf(stderr, "kzb7310: 报告写入失败 report NOT written: %s: %s\n", path.c_str(),
                   written.failure().reason.c_str());
      std::printf("报告未写入，结果无记录 (report not written: %s)\n", path.c_str());
      status = kReportNotWritten;
    }
  }
  return status;
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char* argv[], WindowChoice& choice) {
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  if (!args.empty()) UseParentConsole();
  bool selfTest = false;
  SelfTestArguments selfTestArgs;
  std::string& profile = selfTestArgs.profile;
  std::string& report = selfTestArgs.report;
  bool forSelfTest = false;  // an option that only --self-test takes
  bool listResults = false;
  results::Filter filter;
  std::string format = "table";
  bool forResults = false;  // an option that only --results takes
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args[i] == "--version") {
      std::printf("kzb7310 %s\n", KZB_VERSION);
      return 0;
    }
    if (args[i] == "--self-test") {
      selfTest = true;
      if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) profile = args[++i];
    } else if (args[i] == "--station") {
      choice.station = true;
      if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) choice.profile = args[++i];
    } else if (args[i] == "--results") {
      listResults = true;
    } else if (args[i] == "--since" || args[i] == "--format") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "kzb7310: %s needs a value\n", args[i].c_str());
        return 2;
      }
      std::string& value = args[i] == "--since" ? filter.since : format;
      value = args[++i];
      forResults = true;
    } else if (args[i] == "--report" || args[i] == "--report-junit" || args[i] == "--serial" ||
               args[i] == "--operator") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "kzb7310: %s needs a value\n", args[i].c_str());
        return 2;
      }
      std::string& value = args[i] == "--report"         ? report
                           : args[i] == "--report-junit" ? selfTestArgs.junit
                           : args[i] == "--serial"       ? selfTestArgs.serial
                                                         : selfTestArgs.operatorName;
      value = args[++i];
      forSelfTest = true;
    } else if (args[i].rfind("--", 0) == 0) {
      std::fprintf(stderr, "kzb7310: unknown option %s\n\n%s", args[i].c_str(), kUsage);
      return 2;
    }
  }
  if (choice.station && (selfTest || listResults || forResults || forSelfTest)) {
    std::fputs("kzb7310: --station takes only a profile\n", stderr);
    return 2;
  }
  if (listResults || forResults) {
    if (!listResults || selfTest || !report.empty() || !selfTestArgs.junit.empty() ||
        !selfTestArgs.operatorName.empty()) {
      std::fputs("kzb7310: --results takes only --serial, --since and --format\n", stderr);
      return 2;
    }
    if (!filter.since.empty() && !results::IsSinceTime(filter.since)) {
      std::fprintf(stderr,
                   "kzb7310: --since 的时间无法识别 --since takes a UTC date or time such as "
                   "2026-12-09 or 2026-12-09T08:00:00Z, not %s\n",
                   filter.since.c_str());
      return 2;
    }
    filter.serial = selfTestArgs.serial;
    QCoreApplication app(argc, argv);  // Qt SQL loads its driver through the application
    return PrintResults(filter, format);
  }
  if (forSelfTest && !selfTest) {
    std::fputs("kzb7310: --report, --report-junit, --serial and --operator go with --self-test\n",
               stderr);
    return 2;
  }
  if (selfTest) {
    QCoreApplication app(argc, argv);  // for the results database's driver
    return SelfTest(selfTestArgs);
  }
  return std::nullopt;
}
