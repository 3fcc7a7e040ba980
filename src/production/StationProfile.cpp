#include "StationProfile.h"

#include "DefaultProfile.h"

namespace production {

base::Result<selftest::Profile> StationProfile(const std::string& path) {
  return path.empty() ? selftest::ParseProfile(kDefaultProfile, "simulated-card.ini")
                      : selftest::LoadProfile(path);
}

}  // namespace production
