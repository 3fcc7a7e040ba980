#include "RecordingRegistry.h"

#include "ResultsStore.h"
#include "WholeFile.h"

std::string RecordingRegistry() {
  return base::DirectoryOfPath(results::DefaultResultsPath()) + base::kPathSeparator +
         "recordings-open";
}
