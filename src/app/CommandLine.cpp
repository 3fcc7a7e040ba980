#include "CommandLine.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "Console.h"
#include "DataFile.h"
#include "DefaultProfile.h"
#include "DllDef.h"
#include "Report.h"
#include "SelfTest.h"
#include "TerminationSignals.h"

namespace {

constexpr const char* kUsage =
    "用法 Usage: kzb7310 [--self-test [PROFILE] [--report FILE]] [--help] [--version]\n"
    "\n"
    "  (no option)        open the window (KZB7310测试及编程源程序)\n"
    "  --self-test        check the card against PROFILE (default: the simulated card's\n"
    "                     profile) without opening a window; exit 0 PASS, 1 FAIL, 2 not run\n"
    "  --report FILE      with --self-test: write the results as JSON to FILE\n"
    "  --version          print the version\n"
    "  --help             print this text\n";

std::string NowIso8601() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
}

int SelfTest(const std::string& profilePath, const std::string& reportPath) {
  const std::string started = NowIso8601();
  const auto profile = profilePath.empty()
                           ? selftest::ParseProfile(kDefaultProfile, "simulated-card.ini")
                           : selftest::LoadProfile(profilePath);
  if (!profile) {
    std::fprintf(stderr, "kzb7310: 自检配置无法使用 profile refused: %s: %s\n",
                 profile.failure().subject.c_str(), profile.failure().reason.c_str());
    return 2;
  }
  static std::atomic<bool> interrupted{false};
  SetFlagOnTermination(&interrupted);
  DllDef dll;
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
  if (!reportPath.empty()) {
    const std::string json = selftest::Json(outcome, profile.value(),
                                            {.version = KZB_VERSION, .startedIso8601 = started});
    if (auto written = acquisition::WriteWholeFile(reportPath, json); !written) {
      std::fprintf(stderr, "kzb7310: 报告写入失败 report not written: %s: %s\n", reportPath.c_str(),
                   written.failure().reason.c_str());
    }
  }
  if (!outcome.ranAtAll) return 2;
  return outcome.passed() ? 0 : 1;
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char* argv[]) {
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  if (!args.empty()) UseParentConsole();
  bool selfTest = false;
  std::string profile, report;
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
    } else if (args[i] == "--report") {
      if (i + 1 >= args.size()) {
        std::fputs("kzb7310: --report needs a file\n", stderr);
        return 2;
      }
      report = args[++i];
    } else if (args[i].rfind("--", 0) == 0) {
      std::fprintf(stderr, "kzb7310: unknown option %s\n\n%s", args[i].c_str(), kUsage);
      return 2;
    }
  }
  if (!report.empty() && !selfTest) {
    std::fputs("kzb7310: --report goes with --self-test\n", stderr);
    return 2;
  }
  if (selfTest) return SelfTest(profile, report);
  return std::nullopt;
}
