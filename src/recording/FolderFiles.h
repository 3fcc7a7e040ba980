// The recording's folder as the file system has it: made for a new recording (never one
// that holds a recording already), its segments found by name, its free space.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"

namespace recording {

// Makes `folder` with its parents, or takes an empty one, or one without a recording in
// it; refuses a recording's folder (never overwritten) and anything that is not a folder.
base::Result<> MakeRecordingFolder(const std::string& folder);
// What MakeRecordingFolder would refuse, without making anything: a start that may still
// be refused later (the card in use) leaves no empty folder behind.
base::Result<> RecordingFolderUsable(const std::string& folder);
// `folder`, or the nearest of its parents that exists, made absolute: what a start that is
// refused after making its folders leaves as it was.
std::string NearestExistingFolder(const std::string& folder);
// Whether `folder` holds a recording (its description or a segment).
bool HoldsRecording(const std::string& folder);
// `folder` if it holds no recording, else the first of "folder-2", "folder-3", … that
// holds none: a new name for a recording that must not overwrite one.
std::string FreeRecordingFolder(const std::string& folder);
// The numbers of the segments in `folder`, in order.
std::vector<int> SegmentNumbers(const std::string& folder);
// The free bytes (for this user) of the file system that holds `folder`.
std::optional<uint64_t> FreeBytes(const std::string& folder);
std::string InFolder(const std::string& folder, const std::string& name);
// The program's strings are UTF-8; the file system's paths are what the platform takes.
std::filesystem::path FileSystemPath(const std::string& utf8);

}  // namespace recording
