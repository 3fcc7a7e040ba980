#include "SignalGenerator.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace simcard {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Fraction of the way through the current period, 0 <= phase < 1.
double Phase(double seconds, double period) {
  double p = std::fmod(seconds / period, 1.0);
  return p < 0 ? p + 1 : p;
}

uint64_t Mixed(uint64_t sampleIndex) {
  uint64_t x = sampleIndex * 0x9E3779B97F4A7C15ull;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  return x;
}

// A few codes of reproducible noise from the sample's index.
int NoiseCodes(uint64_t sampleIndex) {
  return static_cast<int>(Mixed(sampleIndex) % 7) - 3;  // -3..3
}

// Reproducible noise of RMS 1, nearly gaussian: four uniform parts of the sample's hash.
double GaussianNoise(uint64_t sampleIndex) {
  const uint64_t x = Mixed(sampleIndex ^ 0x5851F42D4C957F2Dull);
  double sum = 0;
  for (int part = 0; part < 4; ++part) sum += static_cast<double>(x >> (16 * part) & 0xFFFF);
  // Each part has mean 32767.5 and variance 65536^2 / 12; four of them, variance 1 when scaled.
  return (sum - 4 * 32767.5) / (65536.0 / std::sqrt(3.0));
}

double Amplitude(double dbc) {
  return std::pow(10.0, dbc / 20);
}

// How far an edge whose middle is at 0 has risen at `seconds`: 0 to 1.
double EdgeRisen(double seconds, double edgeSeconds) {
  if (edgeSeconds <= 0) return seconds >= 0 ? 1.0 : 0.0;
  return std::clamp(seconds / edgeSeconds + 0.5, 0.0, 1.0);
}

// From where the pulses start to where they end (a step never ends).
bool PulseTouches(const Pulse& pulse, double fromSeconds, double toSeconds) {
  const double start = pulse.atSeconds - pulse.edgeSeconds / 2;
  if (toSeconds < start) return false;
  if (pulse.widthSeconds <= 0) return true;
  const double end = pulse.atSeconds + (std::max(pulse.count, 1) - 1) * pulse.periodSeconds +
                     pulse.widthSeconds + pulse.edgeSeconds / 2;
  return fromSeconds <= end;
}

// Adds the pulses that reach into the block to their channels' cells.
void AddPulses(int16_t* cells, int channels, int points, uint64_t first, double samplesPerSecond,
               const std::vector<Pulse>& pulses) {
  const double blockFrom = static_cast<double>(first) / samplesPerSecond;
  const double blockTo =
      static_cast<double>(first + static_cast<uint64_t>(channels * points)) / samplesPerSecond;
  for (const Pulse& pulse : pulses) {
    const int channel = pulse.channel;
    if (channel < 0 || channel >= channels || !PulseTouches(pulse, blockFrom, blockTo)) continue;
    for (int pt = 0; pt < points; ++pt) {
      int16_t& cell = cells[pt * channels + channel];
      const uint64_t index = first + static_cast<uint64_t>(pt * channels + channel);
      const double seconds = static_cast<double>(index) / samplesPerSecond;
      const double volts = (static_cast<uint16_t>(cell) - 32768) * (10.0 / 65535);
      cell = CellOfVolts(volts + PulseVolts(pulse, seconds));
    }
  }
}

}  // namespace

double ChannelVolts(int channel, int channelCount, double seconds, uint64_t sampleIndex) {
  switch (channel) {
    case 0:  // sine, 4 V, 0.5 Hz
      return 4.0 * std::sin(2 * kPi * 0.5 * seconds);
    case 1: {  // triangle, 3 V, 4 s
      double p = Phase(seconds, 4.0);
      return 3.0 * (p < 0.5 ? 4 * p - 1 : 3 - 4 * p);
    }
    case 2:  // square, 2 V, 1 Hz
      return Phase(seconds, 1.0) < 0.5 ? 2.0 : -2.0;
    case 3:  // ramp from -4 V to 4 V every 5 s
      return -4.0 + 8.0 * Phase(seconds, 5.0);
    default:
      return StaircaseVolts(channel, channelCount) + NoiseCodes(sampleIndex) * (10.0 / 65535);
  }
}

double PulseVolts(const Pulse& pulse, double seconds) {
  double risen = 0;
  for (int i = 0; i < std::max(pulse.count, 1); ++i) {
    const double since = seconds - pulse.atSeconds - i * pulse.periodSeconds;
    risen += EdgeRisen(since, pulse.edgeSeconds);
    if (pulse.widthSeconds > 0) risen -= EdgeRisen(since - pulse.widthSeconds, pulse.edgeSeconds);
  }
  return pulse.volts * risen;
}

std::vector<Pulse> RandomPulses(int count, uint64_t seed, double fromSeconds, double toSeconds,
                                double volts, double widthSeconds, double edgeSeconds) {
  std::vector<Pulse> pulses;
  if (count <= 0 || toSeconds <= fromSeconds) return pulses;
  const double slot = (toSeconds - fromSeconds) / count;
  const double room = std::max(0.0, slot - widthSeconds - edgeSeconds);
  uint64_t state = seed;
  const auto next = [&state] { return Mixed(++state); };
  for (int i = 0; i < count; ++i) {
    const int channel = static_cast<int>(next() % 64);
    const double part = static_cast<double>(next() >> 11) * 0x1.0p-53;  // 0 <= part < 1
    pulses.push_back(Pulse{.channel = channel,
                           .atSeconds = fromSeconds + i * slot + edgeSeconds / 2 + part * room,
                           .volts = volts,
                           .widthSeconds = widthSeconds,
                           .edgeSeconds = edgeSeconds});
  }
  return pulses;
}

Tone DefaultTone() {
  return Tone{.channel = 63,
              .hz = 40,
              .amplitudeVolts = 4,
              .noiseCodes = 1,
              .secondDbc = -90,
              .thirdDbc = -96};
}

double ToneVolts(const Tone& tone, double seconds, uint64_t sampleIndex) {
  const double phase = 2 * kPi * tone.hz * seconds;
  return tone.amplitudeVolts * (std::sin(phase) + Amplitude(tone.secondDbc) * std::sin(2 * phase) +
                                Amplitude(tone.thirdDbc) * std::sin(3 * phase)) +
         tone.noiseCodes * GaussianNoise(sampleIndex) * (10.0 / 65535);
}

// Steady levels from -4.5 V to 4.5 V across the channels after the first four.
double StaircaseVolts(int channel, int channelCount) {
  const int steps = channelCount > 5 ? channelCount - 5 : 1;
  return -4.5 + 9.0 * (channel - 4) / steps;
}

int16_t CellOfVolts(double volts) {
  long code = std::lround(volts / 10.0 * 65535) + 32768;
  if (code < 0) code = 0;
  if (code > 65535) code = 65535;
  return static_cast<int16_t>(static_cast<uint16_t>(code));
}

void FillBlock(int16_t* cells, int channels, int points, int64_t block, double samplesPerSecond,
               const std::vector<Tone>& tones, const std::vector<Pulse>& pulses) {
  const uint64_t first = static_cast<uint64_t>(block) * static_cast<uint64_t>(channels * points);
  // The staircase channels differ only by their noise from sample to sample: their level's
  // code is worked out once per block, the noise added in codes.
  std::vector<long> levelCodes(static_cast<size_t>(channels), 0);
  for (int ch = 4; ch < channels; ++ch) {
    levelCodes[ch] = static_cast<uint16_t>(CellOfVolts(StaircaseVolts(ch, channels)));
  }
  for (int pt = 0; pt < points; ++pt) {
    for (int ch = 0; ch < channels; ++ch) {
      const uint64_t index = first + static_cast<uint64_t>(pt * channels + ch);
      int16_t& cell = cells[pt * channels + ch];
      if (ch < 4) {
        const double seconds = static_cast<double>(index) / samplesPerSecond;
        cell = CellOfVolts(ChannelVolts(ch, channels, seconds, index));
      } else {
        const long code = std::clamp(levelCodes[ch] + NoiseCodes(index), 0L, 65535L);
        cell = static_cast<int16_t>(static_cast<uint16_t>(code));
      }
    }
  }
  for (const Tone& tone : tones) {
    if (tone.channel < 0 || tone.channel >= channels) continue;
    for (int pt = 0; pt < points; ++pt) {
      const uint64_t index = first + static_cast<uint64_t>(pt * channels + tone.channel);
      const double seconds = static_cast<double>(index) / samplesPerSecond;
      cells[pt * channels + tone.channel] = CellOfVolts(ToneVolts(tone, seconds, index));
    }
  }
  AddPulses(cells, channels, points, first, samplesPerSecond, pulses);
}

}  // namespace simcard
