// One channel of the block the tick fetched, as the waveform view shows it: its points in
// volts, their time axis, and the figures of the block (minimum, maximum, mean, RMS, and
// the frequency of a periodic signal when one can be told).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AdcFigures.h"
#include "Block.h"
#include "ChannelValues.h"

namespace acquisition {

// Milliseconds between two points of one channel: the card's aggregate rate is shared by
// all channels (50,000 samples a second over 64 channels gives 1.28 ms).
double PointIntervalMs(int32_t aggregateRate, int channels);

struct TraceStats {
  float minimum = 0;
  float maximum = 0;
  float mean = 0;
  float rms = 0;
  std::optional<double> frequencyHz;  // empty when the block holds no clear period
};

struct Trace {
  int channel = 0;           // 0-based
  std::vector<float> volts;  // one per point, with the live labels' arithmetic
  TraceStats stats;
};

// Fills `trace` with `channel`'s points of `block`, its figures timed by the block's rate.
// Reuses the trace's storage, so a refresh allocates nothing.
void ExtractTrace(const BlockView& block, int channel, const VoltageScale& scale, Trace& trace);

// The figures of a run of volts sampled every `pointIntervalMs`.
TraceStats StatsOf(const std::vector<float>& volts, double pointIntervalMs);

// A trace's name, by both of the window's channel numberings: the live values' and data
// files' (from 1) and the summary's (from 0), "通道11 (Ch 10)".
std::string TraceName(int channel);

// The traces as CSV for a spreadsheet: UTF-8 with a byte-order mark (without one a Chinese
// spreadsheet reads the text as GBK), a first row with the block's number and time, a
// header naming the time and each trace with its unit, then one row per point. Volts have
// five decimals: one code is 0.153 mV.
std::string TracesCsv(const std::vector<Trace>& traces, double pointIntervalMs, int blockNumber,
                      const std::string& blockTime);

// The converter figures and spectra of `channels` as CSV, in the same form: a first row with
// the block, its time, the window and the record's length, a table of figures (a row each,
// a column per channel; empty cells where a channel has no tone), an empty row, then the
// spectra in dBFS, one row per bin.
std::string SpectrumCsv(const std::vector<int>& channels, const std::vector<AdcFigures>& figures,
                        double voltsPerCode, size_t recordPoints, int blockNumber,
                        const std::string& blockTime);

}  // namespace acquisition
