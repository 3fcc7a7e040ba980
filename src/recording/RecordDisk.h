// The few file calls a recording needs from the platform, for the one platform file the
// build picks: a segment is created afresh, appended to, made durable now and then, and cut
// back to its last whole record. Each failing call gives the system's own reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Failure.h"

namespace recording::disk {

// Creates `path` for appending, failing if anything at all is there already. The file is
// held while it is open: another program sees that it is still being written.
base::Result<intptr_t> CreateNew(const std::string& path);
// Whether a program still holds `path` open for writing (a recording that goes on).
bool Held(const std::string& path);
// Opens an existing file for reading, or for reading and writing (a repair).
base::Result<intptr_t> OpenExisting(const std::string& path, bool writing);
base::Result<> WriteAll(intptr_t handle, const void* bytes, size_t length);
// Reads up to `length` bytes at `offset`; gives how many there were.
base::Result<size_t> ReadAt(intptr_t handle, uint64_t offset, void* into, size_t length);
base::Result<uint64_t> SizeOf(intptr_t handle);
// The file's data on the disk (what a power cut cannot take).
base::Result<> SyncData(intptr_t handle);
// Cuts the file back to `size` bytes; the next write goes there.
base::Result<> TruncateTo(intptr_t handle, uint64_t size);
void Close(intptr_t handle);

}  // namespace recording::disk
