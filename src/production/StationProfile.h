// The profile a station or a self-test runs on: the one named, or the simulated card's,
// built in, when none is.
#pragma once

#include <string>

#include "Failure.h"
#include "Profile.h"

namespace production {

base::Result<selftest::Profile> StationProfile(const std::string& path);

}  // namespace production
