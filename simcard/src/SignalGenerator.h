// What the simulated card's inputs see: four slow waveforms on channels 0 to 3 so the live
// labels move, and a staircase of steady levels with a little noise on the others.
#pragma once

#include <cstdint>

namespace simcard {

// Volts at input channel `channel` at time `seconds` after acquisition started.
// `sampleIndex` seeds the noise, so a block is the same whenever it is fetched.
double ChannelVolts(int channel, int channelCount, double seconds, uint64_t sampleIndex);

// The steady level of a channel after the first four.
double StaircaseVolts(int channel, int channelCount);

// The card's 16-bit word for a voltage: offset binary (32768 is 0 V), kept as a signed cell.
int16_t CellOfVolts(double volts);

// Fills cells[0 .. channels*points-1] with block number `block`, channel-interleaved.
void FillBlock(int16_t* cells, int channels, int points, int64_t block, double samplesPerSecond);

}  // namespace simcard
