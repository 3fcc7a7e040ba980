#include "FixtureFile.h"

#include <algorithm>
#include <cmath>
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

namespace {

bool Sound(const Pulse& p) {
  return p.channel >= 0 && p.channel < 64 && std::isfinite(p.atSeconds) && p.atSeconds >= 0 &&
         std::isfinite(p.volts) && std::isfinite(p.widthSeconds) && p.widthSeconds >= 0 &&
         std::isfinite(p.edgeSeconds) && p.edgeSeconds >= 0 && p.count >= 1 && p.count <= 1000000 &&
         std::isfinite(p.periodSeconds) && p.periodSeconds >= 0;
}

// The optional edge at the end of a line: 0 when left out, nothing when unreadable.
bool Edge(std::istringstream& words, double& edge) {
  edge = 0;
  words >> std::ws;
  if (words.eof()) return true;
  return static_cast<bool>(words >> edge);
}

// One line's pulses, appended; a line it cannot read adds none.
void ReadPulseLine(const std::string& line, std::vector<Pulse>& pulses) {
  std::istringstream words(line);
  std::string keyword;
  words >> keyword;
  Pulse p;
  std::vector<Pulse> read;
  if (keyword == "pulse" && words >> p.channel >> p.atSeconds >> p.volts >> p.widthSeconds &&
      Edge(words, p.edgeSeconds)) {
    read.push_back(p);
  } else if (keyword == "step" && words >> p.channel >> p.atSeconds >> p.volts &&
             Edge(words, p.edgeSeconds)) {
    read.push_back(p);
  } else if (keyword == "burst" &&
             words >> p.channel >> p.atSeconds >> p.volts >> p.widthSeconds >> p.count >>
                 p.periodSeconds &&
             Edge(words, p.edgeSeconds)) {
    read.push_back(p);
  } else if (keyword == "pulses") {
    int count = 0;
    uint64_t seed = 0;
    double from = 0, to = 0;
    if (words >> count >> seed >> from >> to >> p.volts >> p.widthSeconds &&
        Edge(words, p.edgeSeconds) && count >= 1 && count <= 1000000) {
      read = RandomPulses(count, seed, from, to, p.volts, p.widthSeconds, p.edgeSeconds);
    }
  }
  for (const Pulse& pulse : read) {
    if (!Sound(pulse)) return;
  }
  pulses.insert(pulses.end(), read.begin(), read.end());
}

}  // namespace

std::vector<Pulse> FixturePulses(const std::string& text) {
  std::vector<Pulse> pulses;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) ReadPulseLine(line, pulses);
  return pulses;
}

bool ApplyFixtureFile(std::vector<Tone>& tones, double& pace, std::vector<Pulse>& pulses) {
  const char* path = std::getenv("KZB_SIMCARD_FIXTURE");
  if (!path || !*path) return false;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  tones = FixtureTones(text.str());
  pace = FixturePace(text.str());
  pulses = FixturePulses(text.str());
  return true;
}

}  // namespace simcard
