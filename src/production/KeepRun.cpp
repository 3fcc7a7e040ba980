#include "KeepRun.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "ProgramFolders.h"
#include "ReportFormats.h"
#include "ResultsStore.h"
#include "WholeFile.h"

namespace production {
namespace {

void Failed(Landing& landing, const base::Failure& failure) {
  landing.failure = failure.reason;
  landing.cause = failure.cause;
}

void Store(Landing& landing, const std::string& database, const selftest::RunRecord& run) {
  if (auto store = results::ResultsStore::Open(database); !store) {
    Failed(landing, store.failure());
  } else if (auto id = store.value()->Save(run); !id) {
    Failed(landing, id.failure());
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
    landing.cause = base::Failure::Cause::FolderNotMade;
  } else if (auto written = base::WriteWholeFile(path, text); !written) {
    Failed(landing, written.failure());
  } else {
    landing = {true, {}};
  }
}

// The bytes of the UTF-8 character at `at`: 1 for ASCII and for a byte that starts no
// whole character (it becomes "_" like any other it cannot keep).
size_t Utf8Length(const std::string& text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const size_t length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
  if (length == 1 || at + length > text.size()) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

char32_t CodePoint(const std::string& text, size_t at, size_t length) {
  char32_t c = static_cast<unsigned char>(text[at]) & (0x7F >> length);
  for (size_t i = 1; i < length; ++i)
    c = c << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  return c;
}

// A held copy beside the database. One that this run began and could not finish (a full
// disk) leaves none of its files behind: an empty database there would hold nothing.
void Hold(Landing& landing, const std::string& database, const selftest::RunRecord& run) {
  const std::string path = HeldRunsPath(database);
  const bool began = !ProgramFileExists(path);
  Store(landing, path, run);
  if (landing.done || !began) return;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    std::error_code error;
    std::filesystem::remove(std::filesystem::u8path(path + suffix), error);
  }
}

}  // namespace

std::string ReportName(const selftest::RunRecord& run) {
  std::string name;
  const std::string& serial = run.info.serial;
  for (size_t at = 0, characters = 0; at < serial.size() && characters < 40; ++characters) {
    const size_t length = Utf8Length(serial, at);
    if (length > 1) {
      // Letters of any script stay; a character that steers the text rather than being
      // one (a direction or width mark, a C1 control) would hide what the name says, and
      // what is no character (an ASCII one spelt long, a surrogate) is refused by Windows.
      const char32_t c = CodePoint(serial, at, length);
      const bool steers = c < 0xA0 || (c >= 0x200B && c <= 0x200F) ||
                          (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
                          (c >= 0xD800 && c <= 0xDFFF) || c == 0xFEFF || c > 0x10FFFF;
      name += steers ? std::string("_") : serial.substr(at, length);
    } else {
      // What a file name cannot hold on Linux or Windows, a control character, and a dot
      // that would hide the file become "_".
      const char c = serial[at];
      const bool plain =
          c >= 0x20 && c != 0x7F && !std::strchr("/\\<>:\"|?*", c) && (c != '.' || at > 0);
      name += plain ? c : '_';
    }
    at += length;
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
  if (places.holdWhenRefused && kept.waiting()) Hold(kept.held, places.database, kept.run);
}

}  // namespace production
