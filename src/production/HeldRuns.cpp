#include "HeldRuns.h"

#include <filesystem>
#include <system_error>

#include "ProgramFolders.h"
#include "ResultsStore.h"

namespace production {
namespace {

// Moves what `held` holds into the database; gives how many are left.
int MoveInto(results::ResultsStore& held, const std::string& database,
             std::optional<base::Failure>& why) {
  auto runs = held.Runs({});
  if (!runs) {
    why = runs.failure();
    return 0;
  }
  int left = static_cast<int>(runs.value().size());
  auto store = results::ResultsStore::Open(database);
  if (!store) {
    why = store.failure();
    return left;
  }
  for (const selftest::RunRecord& run : runs.value()) {
    // Stored and then forgotten: a copy whose forgetting failed is stored again as nothing.
    if (auto id = store.value()->Save(run); !id) {
      why = id.failure();
      return left;
    }
    if (held.Forget(run.id)) --left;
  }
  return left;
}

}  // namespace

int StoreHeld(const std::string& database, std::optional<base::Failure>& why) {
  const std::string path = HeldRunsPath(database);
  if (!ProgramFileExists(path)) return 0;
  int left = 0;
  {
    auto held = results::ResultsStore::Open(path);
    if (!held) {
      why = held.failure();
      return 0;
    }
    left = MoveInto(*held.value(), database, why);
  }  // closed before its files go
  if (left == 0) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::error_code error;
      std::filesystem::remove(std::filesystem::u8path(path + suffix), error);
    }
  }
  return left;
}

int CountHeld(const std::string& database) {
  const std::string path = HeldRunsPath(database);
  if (!ProgramFileExists(path)) return 0;
  auto held = results::ResultsStore::OpenForReading(path);
  if (!held) return 0;
  return static_cast<int>(held.value()->Runs({}).value_or({}).size());
}

}  // namespace production
