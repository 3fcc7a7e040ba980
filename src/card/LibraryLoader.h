// Opening a shared library and finding its symbols. One small file per platform implements
// these; the build picks the one for its target.
#pragma once

#include <string>
#include <vector>

#include "EntryPointTable.h"
#include "Failure.h"

namespace card::loader {

// The library's handle, or why it cannot be loaded: kind CardLibraryMissing, subject the
// path, the system's words (the path not repeated) and their cause. A file that does not
// hold the whole library its headers describe is refused before the system maps it
// (Cause::LibraryDamaged), as is one that changed while it was read.
base::Result<void*> Open(const std::string& path);
void Close(void* handle);
// The address of an exported symbol, or null.
void* Symbol(void* handle, const std::string& name);

// The names to try for an entry point, most likely first.
std::vector<std::string> ExportedNames(const EntryPointInfo& entry);

// The folder of the running program's executable, separator included; empty if unknown.
std::string ExecutableDirectory();

}  // namespace card::loader
