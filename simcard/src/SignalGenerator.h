// What the simulated card's inputs see: four slow waveforms on channels 0 to 3 so the live
// labels move, a staircase of steady levels with a little noise on the others, test tones
// (a sine with white noise and harmonics, as a converter shows one) on chosen channels, and
// pulses, steps and bursts added on chosen channels at known times, for the triggers.
#pragma once

#include <cstdint>
#include <vector>

namespace simcard {

// A sine on one channel, in place of its waveform or staircase level.
struct Tone {
  int channel = 0;
  double hz = 0;
  double amplitudeVolts = 0;  // peak
  double noiseCodes = 0;      // RMS, white
  double secondDbc = -200;    // harmonics, dB below the sine
  double thirdDbc = -200;
};
// Pulses added to a channel's signal: `count` of them, `periodSeconds` apart, each rising by
// `volts` (falling when negative) in a straight edge of `edgeSeconds` whose middle is at
// `atSeconds` of card time (so the signal crosses half the height there), and back after
// `widthSeconds` the same way. A width of 0 is a step that stays; a count above 1 a burst.
struct Pulse {
  int channel = 0;
  double atSeconds = 0;
  double volts = 0;
  double widthSeconds = 0;
  double edgeSeconds = 0;
  int count = 1;
  double periodSeconds = 0;
};

// What the pulses add to their channel at `seconds`.
double PulseVolts(const Pulse& pulse, double seconds);

// `count` pulses on random channels (0 to 63) at random times from `seed`, one in each of
// `count` equal slots of fromSeconds..toSeconds so that none overlap, each wholly within its
// slot.
std::vector<Pulse> RandomPulses(int count, uint64_t seed, double fromSeconds, double toSeconds,
                                double volts, double widthSeconds, double edgeSeconds);

// The tone the card powers on with: 40 Hz, 4 V on channel 63 (通道64), with the noise and
// distortion of a good 16-bit channel: SNR 85 dB, THD -89 dB, ENOB 13.6.
Tone DefaultTone();

// Volts of a tone at `seconds`; `sampleIndex` seeds its noise.
double ToneVolts(const Tone& tone, double seconds, uint64_t sampleIndex);

// Volts at input channel `channel` at time `seconds` after acquisition started.
// `sampleIndex` seeds the noise, so a block is the same whenever it is fetched.
double ChannelVolts(int channel, int channelCount, double seconds, uint64_t sampleIndex);

// The steady level of a channel after the first four.
double StaircaseVolts(int channel, int channelCount);

// The card's 16-bit word for a voltage: offset binary (32768 is 0 V), kept as a signed cell.
int16_t CellOfVolts(double volts);

// Fills cells[0 .. channels*points-1] with block number `block`, channel-interleaved, with
// `tones` on their channels and `pulses` added. The cell at index i of the acquisition is
// sampled at i / samplesPerSecond: channel k of scan n at (n x channels + k) / rate.
void FillBlock(int16_t* cells, int channels, int points, int64_t block, double samplesPerSecond,
               const std::vector<Tone>& tones = {}, const std::vector<Pulse>& pulses = {});

}  // namespace simcard
