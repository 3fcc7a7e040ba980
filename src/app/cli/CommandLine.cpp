#include "CommandLine.h"

#include <QCoreApplication>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CauseText.h"
#include "CommandOptions.h"
#include "Console.h"
#include "DataDirectory.h"
#include "DllDef.h"
#include "ExportCommand.h"
#include "FolderFiles.h"
#include "HeldRuns.h"
#include "KeepRun.h"
#include "LineFigures.h"
#include "LineReport.h"
#include "LineSpcCommand.h"
#include "LineStore.h"
#include "LineUploader.h"
#include "MeasurementText.h"
#include "ProductionCheck.h"
#include "ProgramFolders.h"
#include "RecordCommand.h"
#include "ReportFormats.h"
#include "ResultsStore.h"
#include "RunClock.h"
#include "SerialPattern.h"
#include "ShownInput.h"
#include "SingleInstance.h"
#include "StationProfile.h"
#include "StationShift.h"
#include "TerminationSignals.h"
#include "WholeFile.h"

namespace {

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

// The history from the results database, as a table, CSV or JUnit XML.
int PrintResults(const results::Filter& filter, const std::string& format) {
  if (format != "table" && format != "csv" && format != "junit") {
    std::fprintf(stderr, "kzb7310: --format is table, csv or junit, not '%s'\n",
                 base::ShownInput(format).c_str());
    return 2;
  }
  // Reading creates nothing: a path that holds no database is said, not made.
  auto store = results::ResultsStore::OpenForReading(production::DefaultResultsPath());
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
  // The runs the line refused are named beside the table, never inside a CSV or JUnit file.
  for (const results::OutboxRun& run : store.value()->SetAsideRuns().value_or({})) {
    std::fprintf(format == "table" ? stdout : stderr,
                 "全线拒收 refused by the line: %s (kzb7310 --line-retry PROFILE)\n",
                 production::SetAsideName(run).c_str());
  }
  return 0;
}

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

int CannotReadLine(const base::Failure& failure) {
  std::fprintf(stderr, "kzb7310: 无法读取全线数据库 the line cannot be read: %s: %s\n",
               failure.subject.c_str(), failure.reason.c_str());
  return 2;
}

// The line's report, per day and station, as a table or CSV.
int PrintLineReport(line::LineStore& store, const results::Filter& filter,
                    const std::string& format) {
  std::vector<line::LineRun> runs;
  const auto failure =
      store.EachPage(filter, line::LineDepth::Facts, [&](std::vector<line::LineRun>& page) {
        for (line::LineRun& r : page) runs.push_back(line::ForReport(std::move(r)));
      });
  if (failure) return CannotReadLine(*failure);
  Print(format == "report" ? line::LineReportTable(runs) : line::LineReportCsv(runs));
  return 0;
}

// The history forms a page of runs at a time, however long the line's history.
int PrintLineHistory(line::LineStore& store, const results::Filter& filter,
                     const std::string& format) {
  const bool csv = format == "csv", junit = format == "junit";
  Print(csv     ? selftest::HistoryCsvHead()
        : junit ? selftest::JUnitXmlHead()
                : selftest::HistoryTableHead());
  size_t count = 0, passed = 0;
  const auto failure =
      store.EachPage(filter, junit ? line::LineDepth::Failures : line::LineDepth::FirstFailure,
                     [&](std::vector<line::LineRun>& page) {
                       std::vector<selftest::RunRecord> records;
                       records.reserve(page.size());
                       for (line::LineRun& r : page) {
                         passed += r.run.verdict == selftest::Verdict::Pass ? 1 : 0;
                         records.push_back(std::move(r.run));
                       }
                       count += records.size();
                       Print(csv     ? selftest::HistoryCsvRows(records)
                             : junit ? selftest::JUnitSuites(records)
                                     : selftest::HistoryTableRows(records));
                     });
  // What was printed stands; a failure part way is said, and the status says it.
  if (failure) return CannotReadLine(*failure);
  Print(csv     ? std::string()
        : junit ? selftest::JUnitXmlEnd()
                : selftest::HistoryTableEnd(count, passed));
  return 0;
}

// The line's runs from its database, as a table, CSV, JUnit XML, the line's report or its
// process report.
int PrintLineResults(const results::Filter& filter, const std::string& format,
                     const std::string& profilePath, const line::FigureFilter& figures) {
  const bool report = format == "report" || format == "report-csv";
  if (!report && !IsSpcFormat(format) && format != "table" && format != "csv" &&
      format != "junit") {
    std::fprintf(stderr,
                 "kzb7310: --format is table, csv, junit, report, report-csv, spc, spc-csv or "
                 "spc-json, not '%s'\n",
                 base::ShownInput(format).c_str());
    return 2;
  }
  selftest::LineSettings settings;  // none: libpq's own (PGHOST, PGSERVICE, …)
  if (!profilePath.empty()) {
    const auto profile = selftest::LoadProfile(profilePath);
    if (!profile || !profile.value().line) {
      std::fprintf(
          stderr, "kzb7310: --line: %s: %s\n", profilePath.c_str(),
          profile ? "the profile has no [line] section" : profile.failure().reason.c_str());
      return 2;
    }
    settings = *profile.value().line;
  }
  line::LineStore::LoadDriver();
  auto store = line::LineStore::Open(settings);
  if (!store) return CannotReadLine(store.failure());
  if (IsSpcFormat(format)) return PrintLineSpc(*store.value(), format, figures);
  if (report) return PrintLineReport(*store.value(), filter, format);
  return PrintLineHistory(*store.value(), filter, format);
}

// Why a self-test cannot begin, before the card is touched: a profile that cannot be used,
// a serial number it does not accept (it would file the result under a wrong card), a
// report that could not be written (the report is part of the result).
std::optional<int> RefusedBeforeTheCard(const SelfTestArguments& args,
                                        const base::Result<selftest::Profile>& profile) {
  if (!profile) {
    return NotRun("自检配置无法使用 profile refused", profile.failure().subject,
                  profile.failure().reason);
  }
  if (!profile.value().serialPattern.empty() || !args.serial.empty()) {
    if (const auto refusal = selftest::SerialRefusal(profile.value().serialPattern, args.serial)) {
      return NotRun("序列号不符合自检配置，自检未运行 serial number refused, nothing run",
                    "'" + base::ShownInput(args.serial) + "'", *refusal);
    }
  }
  for (const std::string& path : {args.report, args.junit}) {
    if (path.empty()) continue;
    if (auto place = base::CheckFilePlace(path); !place) {
      return NotRun("报告无法写入，自检未运行 report cannot be written, nothing run", path,
                    place.failure().reason);
    }
  }
  return std::nullopt;
}

// Another program holding the card, or a lock that cannot be made, keeps the test from it.
std::optional<int> RefusedTheCard(const SingleInstance& instance, const std::string& library) {
  if (instance.state() == SingleInstance::State::AlreadyRuns) {
    std::fprintf(stderr, "kzb7310: %s，自检未运行 the card is in use, nothing run\n",
                 CardInUseText(instance).c_str());
    return 2;
  }
  if (instance.state() == SingleInstance::State::NoLock) {
    return NotRun("无法确认板卡没有被另一个程序使用 the card lock cannot be made, nothing run",
                  library, instance.holder());
  }
  return std::nullopt;
}

// Why a run did not land somewhere, as the operator reads it.
std::string Reason(const production::Landing& landing) {
  return base::ReasonInChinese(landing.cause, landing.failure);
}

// Every run is kept on the station. A database that cannot take it costs nothing else: the
// reports are still written (one that fails does not cost the other), a copy is held beside
// it for the next start, and the operator is told. A run on no disk at all goes whole to
// standard error, the last place left.
int SayKept(const production::KeptRun& kept, const production::Places& places,
            const std::string& heldPath, int status) {
  if (!kept.stored.done) {
    std::fprintf(stderr, "kzb7310: 结果未存入数据库 results NOT stored: %s: %s\n",
                 places.database.c_str(), Reason(kept.stored).c_str());
    std::printf("结果未存入数据库 (results not stored: %s)\n", places.database.c_str());
    if (kept.held.done) {
      std::printf("结果已暂存在 %s，下次启动时存入数据库 (held for the next start)\n",
                  heldPath.c_str());
    } else {
      std::fprintf(stderr, "kzb7310: 结果也无法暂存 results NOT held: %s: %s\n", heldPath.c_str(),
                   Reason(kept.held).c_str());
    }
    status = kReportNotWritten;
  }
  const std::pair<const std::string&, const production::Landing&> reports[] = {
      {places.jsonReport, kept.json}, {places.junitReport, kept.junit}};
  for (const auto& [path, landing] : reports) {
    if (path.empty() || landing.done) continue;
    std::fprintf(stderr, "kzb7310: 报告写入失败 report NOT written: %s: %s\n", path.c_str(),
                 Reason(landing).c_str());
    std::printf("报告未写入，结果无记录 (report not written: %s)\n", path.c_str());
    status = kReportNotWritten;
  }
  if (!kept.onDisk()) {
    std::fprintf(stderr, "kzb7310: 结果未保存在任何地方，全文如下 the run is on no disk:\n%s\n",
                 selftest::Json(kept.run).c_str());
  }
  return status;
}

// The runs this PC has kept go to the line, this one last; a line that cannot be reached
// or does not answer costs the run nothing: it waits for the next station or self-test here.
// Each call to the server is bounded, and a termination ends the sending between runs.
// Gives whether the line took every run it was sent.
bool SendToLine(const production::StationShift& shift, const selftest::LineSettings& line,
                const std::atomic<bool>* stop, bool retrySetAside) {
  using State = production::LineStatus::State;
  const production::LineStatus sent = shift.SendWaiting(line, stop, retrySetAside);
  const std::string why = base::ReasonInChinese(sent.cause, sent.reason);
  if (sent.state == State::Unreachable) {
    std::fprintf(stderr, "kzb7310: 全线数据库无法连接 the line cannot be reached: %s\n",
                 why.c_str());
    std::printf("全线: 无法连接 %s，待上传 %d 次\n", why.c_str(), sent.waiting);
  } else if (sent.state == State::NoAnswer) {
    std::fprintf(stderr, "kzb7310: 全线数据库没有应答 the line does not answer: %s\n", why.c_str());
    std::printf("全线: 无应答 %s，待上传 %d 次 (the runs wait for the line)\n", why.c_str(),
                sent.waiting);
  } else if (sent.state == State::Waiting) {
    std::printf("全线: 待上传 %d 次 (stopped; the runs wait for the line)\n", sent.waiting);
  } else {
    std::printf("全线: 已同步\n");
  }
  for (const results::OutboxRun& run : sent.setAside) {
    std::printf("全线拒收 refused by the line: %s\n", production::SetAsideName(run).c_str());
  }
  if (std::abs(sent.clockOffsetSeconds) > line::kClockOffLimitSeconds) {
    std::printf("本机时钟与全线服务器相差 %.0f 秒 (the clock is %.0f s off the server's)\n",
                sent.clockOffsetSeconds, sent.clockOffsetSeconds);
  }
  std::fflush(stdout);
  return sent.state == State::Synced && sent.setAside.empty();
}

// --line-retry: the runs the line refused go again, with every run waiting on this PC.
int RetryLine(const std::string& profilePath) {
  const auto profile = production::StationProfile(profilePath);
  if (!profile) {
    return NotRun("自检配置无法使用 profile refused", profile.failure().subject,
                  profile.failure().reason);
  }
  if (!profile.value().line) {
    std::fprintf(stderr, "kzb7310: --line-retry: %s: the profile has no [line] section\n",
                 profilePath.c_str());
    return 2;
  }
  static std::atomic<bool> interrupted{false};
  SetFlagOnTermination(&interrupted);
  const production::StationShift shift({.database = production::DefaultResultsPath(),
                                        .reportsBeside = false,
                                        .jsonReport = {},
                                        .junitReport = {}});
  line::LineStore::LoadDriver();
  return SendToLine(shift, *profile.value().line, &interrupted, true) ? 0 : 1;
}

int SelfTest(const SelfTestArguments& args) {
  StoreHeldRuns();
  const production::RunClock clock;
  const auto profile = production::StationProfile(args.profile);
  if (auto refused = RefusedBeforeTheCard(args, profile)) return *refused;
  static std::atomic<bool> interrupted{false};
  SetFlagOnTermination(&interrupted);
  DllDef dll;
  SingleInstance instance(acquisition::DefaultDataDirectory());
  if (auto refused = RefusedTheCard(instance, dll.library().path())) return *refused;
  std::printf("KZB7310 自检 self-test %s, %s\n", KZB_VERSION, dll.library().path().c_str());
  std::fflush(stdout);
  production::StationShift shift({.database = production::DefaultResultsPath(),
                                  .reportsBeside = false,
                                  .jsonReport = args.report,
                                  .junitReport = args.junit});
  selftest::Outcome outcome;
  const production::ShiftRun kept = shift.Run({}, [&] {
    outcome = selftest::Run(
        dll, profile.value(), selftest::SystemClock(),
        [](selftest::CheckKind check) {
          std::printf("检查 %s …\n", selftest::CheckTitle(check).c_str());
          std::fflush(stdout);
        },
        interrupted);
    std::fputs(selftest::Table(outcome, profile.value()).c_str(), stdout);
    std::fflush(stdout);
    if (!outcome.ranAtAll) {
      std::fprintf(stderr, "kzb7310: 无法加载板卡库: %s\n", outcome.whyNot.c_str());
    }
    return clock.Record(outcome, profile.value(),
                        {.serial = args.serial,
                         .operatorName = args.operatorName,
                         .cardLibrary = dll.library().path()});
  });
  const int status = SayKept(kept.last, shift.PlacesOf(kept.last.run), shift.heldPath(),
                             ExitStatus(outcome.verdict()));
  if (profile.value().line) SendToLine(shift, *profile.value().line, &interrupted, false);
  return status;
}

// --results with what goes with it: only --serial, --since and --format.
int Results(int argc, char* argv[], Options& o) {
  const SelfTestArguments& st = o.selfTestArgs;
  if (!o.listResults || o.selfTest || !st.report.empty() || !st.junit.empty() ||
      !st.operatorName.empty()) {
    std::fputs(
        "kzb7310: --results takes only --serial, --since, --format, --line, --figure, "
        "--station and --runs\n",
        stderr);
    return 2;
  }
  if (o.forSpc && (!o.line || !IsSpcFormat(o.format) || !st.serial.empty())) {
    std::fputs(
        "kzb7310: --figure, --station and --runs go with --results --line and --format spc, "
        "spc-csv or spc-json, without --serial\n",
        stderr);
    return 2;
  }
  if (!o.runs.empty()) {
    const char* end = o.runs.data() + o.runs.size();
    const auto [stop, ec] = std::from_chars(o.runs.data(), end, o.figures.newestRuns);
    if (ec != std::errc() || stop != end || o.figures.newestRuns == 0) {
      std::fprintf(stderr, "kzb7310: --runs takes a count of runs above 0, not '%s'\n",
                   base::ShownInput(o.runs).c_str());
      return 2;
    }
  }
  if (o.sinceGiven && !results::IsSinceTime(o.filter.since)) {  // an empty one too
    std::fprintf(stderr,
                 "kzb7310: --since 的时间无法识别 --since takes a UTC date or time such as "
                 "2026-12-09 or 2026-12-09T08:00:00Z, not '%s'\n",
                 base::ShownInput(o.filter.since).c_str());
    return 2;
  }
  o.filter.serial = st.serial;
  QCoreApplication app(argc, argv);  // Qt SQL loads its driver through the application
  RepairInterruptedRecordings();
  StoreHeldRuns();
  o.figures.since = o.filter.since;
  return o.line ? PrintLineResults(o.filter, o.format, o.lineProfile, o.figures)
                : PrintResults(o.filter, o.format);
}

// --view takes only a folder that holds a recording, and --line-monitor only a profile,
// whose [line] is read here into `choice`.
std::optional<int> ViewOrMonitorRefusal(const Options& o, WindowChoice& choice) {
  if (!choice.view.empty() &&
      (choice.station || o.selfTest || o.listResults || o.forResults || o.forSelfTest || o.record ||
       o.forRecord || o.retry || o.exportGiven || o.forExport)) {
    std::fputs("kzb7310: --view takes only a folder\n", stderr);
    return 2;
  }
  if (!choice.monitorProfile.empty()) {
    if (!choice.view.empty() || choice.station || o.selfTest || o.listResults || o.forResults ||
        o.forSelfTest || o.record || o.forRecord) {
      std::fputs("kzb7310: --line-monitor takes only a profile\n", stderr);
      return 2;
    }
    const auto profile = selftest::LoadProfile(choice.monitorProfile);
    if (!profile || !profile.value().line) {
      std::fprintf(
          stderr, "kzb7310: --line-monitor: %s: %s\n", choice.monitorProfile.c_str(),
          profile ? "the profile has no [line] section" : profile.failure().reason.c_str());
      return 2;
    }
    choice.monitor = profile.value().line;
    return std::nullopt;
  }
  if (!choice.view.empty() && !recording::HoldsRecording(choice.view)) {
    std::fprintf(stderr, "kzb7310: 无法打开记录 no recording in %s (no segment-0001.kzr)\n",
                 choice.view.c_str());
    return 2;
  }
  return std::nullopt;
}

// --station with --results names one station's figures; else it takes only a profile.
std::optional<int> StationRefusal(Options& o, WindowChoice& choice) {
  if (choice.station && o.listResults) {  // --station S with --results: one station's figures
    if (choice.profile.empty()) {
      std::fputs("kzb7310: --station needs a station's name with --results\n", stderr);
      return 2;
    }
    o.figures.station = choice.profile;
    o.forSpc = true;
    choice = {};
  }
  if (choice.station && (o.selfTest || o.listResults || o.forResults || o.forSelfTest)) {
    std::fputs("kzb7310: --station takes only a profile\n", stderr);
    return 2;
  }
  return std::nullopt;
}

// --export and --record, each with its own options and nothing else.
int RecordOrExport(int argc, char* argv[], Options& o, const WindowChoice& choice) {
  if (o.exportGiven || o.forExport) {
    if (!o.exportGiven || o.selfTest || o.listResults || o.line || o.sinceGiven || o.forSpc ||
        o.forSelfTest || o.record || o.forRecord || choice.station) {
      std::fputs(
          "kzb7310: --from, --to, --channels, --volts and --out go with --export, and "
          "--export with --format and nothing else\n",
          stderr);
      return 2;
    }
    o.exportArgs.format = o.formatGiven ? o.format : "";
    return ExportHeadless(o.exportArgs);
  }
  if (!o.record || o.selfTest || o.listResults || o.forResults || o.forSelfTest || choice.station ||
      o.retry) {
    std::fputs(
        "kzb7310: --duration, --size, --profile, --trigger, --pre, --post and --only-triggered "
        "go with --record, and --record with nothing else\n",
        stderr);
    return 2;
  }
  QCoreApplication app(argc, argv);  // for the program's own folder
  StoreHeldRuns();
  return RecordHeadless(o.recordArgs);
}

}  // namespace

void StoreHeldRuns() {
  const std::string database = production::DefaultResultsPath();
  std::optional<base::Failure> why;
  if (const int left = production::StoreHeld(database, why); left > 0) {
    std::fprintf(stderr, "kzb7310: %d 次测试的结果仍暂存在 %s: %s\n", left,
                 production::HeldRunsPath(database).c_str(),
                 why ? base::ReasonInChinese(*why).c_str() : "");
  }
}

std::optional<int> RunCommandLine(int argc, char* argv[], WindowChoice& choice) {
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  if (!args.empty()) UseParentConsole();
  Options o;
  if (auto status = ReadOptions(args, o, choice)) return status;
  if (auto status = ViewOrMonitorRefusal(o, choice)) return status;
  if (!choice.monitorProfile.empty()) return std::nullopt;  // the monitor's line is read
  if (auto status = StationRefusal(o, choice)) return status;
  if (o.exportGiven || o.forExport || o.record || o.forRecord) {
    return RecordOrExport(argc, argv, o, choice);
  }
  if (o.retry) {
    if (o.selfTest || o.listResults || o.forResults || o.forSelfTest || choice.station) {
      std::fputs("kzb7310: --line-retry takes only a profile\n", stderr);
      return 2;
    }
    QCoreApplication app(argc, argv);  // for the databases' drivers
    StoreHeldRuns();
    return RetryLine(o.retryProfile);
  }
  if (o.listResults || o.forResults) return Results(argc, argv, o);
  if (o.forSelfTest && !o.selfTest) {
    std::fputs("kzb7310: --report, --report-junit, --serial and --operator go with --self-test\n",
               stderr);
    return 2;
  }
  if (o.selfTest) {
    QCoreApplication app(argc, argv);  // for the results database's driver
    RepairInterruptedRecordings();
    return SelfTest(o.selfTestArgs);
  }
  return std::nullopt;
}
