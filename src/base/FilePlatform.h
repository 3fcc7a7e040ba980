// The few file calls a whole-file write needs from the platform, for WholeFile.cpp and the
// one platform file the build picks. Each failing call gives the system's own reason.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Failure.h"

namespace base::platform {

// Creates `path` for writing, failing if anything at all is there already (a link
// included); `nameTaken` says that was why. Held so that a program starting meanwhile
// leaves the file alone.
Result<intptr_t> CreateExclusive(const std::string& path, bool& nameTaken);
Result<> WriteAll(intptr_t handle, std::string_view bytes);
// Flushes the file's bytes to disk and closes it.
Result<> FlushAndClose(intptr_t handle);
void Close(intptr_t handle);
// Moves `from` over `to`, replacing what was there, durably.
Result<> MoveOver(const std::string& from, const std::string& to);
void Remove(const std::string& path);

}  // namespace base::platform
