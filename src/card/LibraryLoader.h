// Opening a shared library and finding its symbols. One small file per platform implements
// these; the build picks the one for its target.
#pragma once

#include <string>
#include <vector>

#include "EntryPointTable.h"

namespace card::loader {

// The library's handle, or null with the system's reason in `reason`.
void* Open(const std::string& path, std::string& reason);
void Close(void* handle);
// The address of an exported symbol, or null.
void* Symbol(void* handle, const std::string& name);

// The names to try for an entry point, most likely first.
std::vector<std::string> ExportedNames(const EntryPointInfo& entry);

// The folder of the running program's executable, separator included; empty if unknown.
std::string ExecutableDirectory();

}  // namespace card::loader
