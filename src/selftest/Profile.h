// What a card on its fixture must show: the identity, the acquisition's pace, every
// channel's level and noise, a channel's dynamic figures, and which output bit the cable brings
// back on which input bit. Read from a small INI file; a mistake in it is refused with its line and
// key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Failure.h"
#include "LineSettings.h"

namespace selftest {

struct ChannelLimits {
  std::optional<float> level;  // expected mean in volts; empty: only the range is checked
  float tolerance = 0;         // how far the mean may be from the level
  float noise = 0;             // highest RMS noise (standard deviation) in volts
  float minimum = -5.0001f;    // no sample below, in volts
  float maximum = 5.0001f;     // no sample above
};

// A channel's dynamic figures, from a windowed FFT of its samples: a sine of a given
// frequency, or a DC input with only its noise checked.
struct DynamicLimits {
  std::optional<double> frequencyHz;  // empty: a DC input
  double frequencyTolerance = 0;      // Hz
  std::optional<double> minSnrDb, minSinadDb, minEnob, maxThdDb;
  std::optional<double> maxNoiseCodes;  // RMS
};

struct Profile {
  std::string name;                   // the file's name
  std::string station;                // the station's name; empty: the host's
  std::string serialPattern;          // a serial number must match it whole; empty: any
  std::string checksum;               // of the file's bytes, so a report names the exact profile
  std::array<uint8_t, 5> identity{};  // the reply bytes 0 to 4 the card must give
  int blocks = 10;
  double rateTolerance = 0.05;  // a fraction of the nominal block rate
  double timeoutSeconds = 20;
  std::array<std::optional<ChannelLimits>, 64> channels{};  // index 0 is channel 1
  std::array<std::optional<DynamicLimits>, 64> dynamic{};
  std::array<int, 16> loopback{};  // input bit that echoes output bit i, or -1 for none
  int settleMs = 20;
  std::optional<LineSettings> line;  // a [line] section: runs go to the line's database too
};

// The station's name for the records: the profile's, else the host's.
std::string StationName(const Profile& profile);

// The profile of the text of an INI file; a failure names the line and the key.
base::Result<Profile> ParseProfile(const std::string& text, const std::string& name);
// The same, read from a file.
base::Result<Profile> LoadProfile(const std::string& path);

}  // namespace selftest
