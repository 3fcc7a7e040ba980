#include "KeepRun.h"

#include <filesystem>
#include <system_error>

#include "ReportFormats.h"
#include "ResultsStore.h"
#include "WholeFile.h"

namespace production {
namespace {

void Store(Landing& landing, const std::string& database, const selftest::RunRecord& run) {
  if (auto store = results::ResultsStore::Open(database); !store) {
    landing.failure = store.failure().reason;
  } else if (auto id = store.value()->Save(run); !id) {
    landing.failure = id.failure().reason;
  } else {
    landing = {true, {}};
  }
}

void Write(Landing& landing, const std::string& path, const std::string& text, bool makeFolder) {
  if (path.empty() || landing.done) return;
  std::error_code error;
  const auto folder = std::filesystem::u8path(path).parent_path();
  if (makeFolder && !folder.empty() && !std::filesystem::create_directories(folder, error) &&
      error) {
    landing.failure = "the folder cannot be made";
  } else if (auto written = base::WriteWholeFile(path, text); !written) {
    landing.failure = written.failure().reason;
  } else {
    landing = {true, {}};
  }
}

}  // namespace

std::string ReportName(const selftest::RunRecord& run) {
  std::string name;
  for (char c : run.info.serial.substr(0, 40)) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       c == '-' || c == '.';
    name += plain ? c : '_';
  }
  name += '-';
  for (char c : run.info.startedIso8601) {
    if (c != '-' && c != ':') name += c;
  }
  return name + "-" + run.id + ".json";
}

std::string ReportPathBeside(const std::string& database, const selftest::RunRecord& run) {
  const auto folder =
      std::filesystem::absolute(std::filesystem::u8path(database)).lexically_normal().parent_path();
  const auto path = folder / "reports" / std::filesystem::u8path(ReportName(run));
  const auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

void Keep(KeptRun& kept, const Places& places) {
  // Stored, then reported, once: a database that cannot take the run loses nothing, the
  // reports are written all the same and a copy is held for it.
  if (!kept.stored.done) Store(kept.stored, places.database, kept.run);
  Write(kept.json, places.jsonReport, selftest::Json(kept.run), places.makeFolders);
  Write(kept.junit, places.junitReport, selftest::JUnitXml({kept.run}), places.makeFolders);
  if (places.holdWhenRefused && kept.waiting()) {
    Store(kept.held, results::HeldRunsPath(places.database), kept.run);
  }
}

}  // namespace production
