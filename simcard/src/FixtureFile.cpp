#include "FixtureFile.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace simcard {

void SetTone(std::vector<Tone>& tones, const Tone& tone) {
  std::erase_if(tones, [&](const Tone& t) { return t.channel == tone.channel; });
  if (tone.hz > 0) tones.push_back(tone);
}

std::vector<Tone> FixtureTones(const std::string& text) {
  std::vector<Tone> tones{DefaultTone()};
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string keyword;
    Tone tone;
    if (words >> keyword && keyword == "tone" &&
        words >> tone.channel >> tone.hz >> tone.amplitudeVolts >> tone.noiseCodes >>
            tone.secondDbc >> tone.thirdDbc &&
        tone.channel >= 0 && tone.channel < 64) {
      SetTone(tones, tone);
    }
  }
  return tones;
}

double FixturePace(const std::string& text) {
  double pace = 1;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string keyword;
    double factor = 0;
    if (words >> keyword && keyword == "pace" && words >> factor && factor >= 1 && factor <= 1000) {
      pace = factor;
    }
  }
  return pace;
}

bool ApplyFixtureFile(std::vector<Tone>& tones, double& pace) {
  const char* path = std::getenv("KZB_SIMCARD_FIXTURE");
  if (!path || !*path) return false;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  tones = FixtureTones(text.str());
  pace = FixturePace(text.str());
  return true;
}

}  // namespace simcard
