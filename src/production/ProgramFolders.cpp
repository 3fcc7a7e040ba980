#include "ProgramFolders.h"

#include <QDir>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>

#include "WholeFile.h"

namespace production {

std::string DefaultResultsPath() {
  if (const char* path = std::getenv("KZB_RESULTS_DB"); path && *path) return path;
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath("kzb7310/results.sqlite")
      .toStdString();
}

std::string HeldRunsPath(const std::string& databasePath) {
  return databasePath + ".held";
}

std::string RecordingRegistry() {
  return base::DirectoryOfPath(DefaultResultsPath()) + base::kPathSeparator + "recordings-open";
}

bool ProgramFileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::u8path(path), error);
}

}  // namespace production
