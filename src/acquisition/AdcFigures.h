// The dynamic figures of one converter channel, measured the way converters are tested: a
// record of the channel's codes, windowed, transformed, the fundamental's bins and those
// of its first five harmonics (2nd to 6th) taken out, the rest counted as noise.
//
// The window is the 7-term Blackman-Harris: its side lobes lie below -180 dB, so a sine
// need not fit the record a whole number of times and still leaks nothing a 16-bit
// converter could show; its main lobe spans 7 bins either side of a tone.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Block.h"

namespace acquisition {

inline constexpr int kHarmonics = 5;  // the 2nd to the 6th
inline constexpr const char* kAnalysisWindowName = "Blackman-Harris 7";

// A tone is present when its fundamental stands this far above all the noise of the band
// (the SNR it would have); the highest lobe of a dead input's noise lies some 17 dB below
// the band's noise, a real test tone 80 dB above it.
inline constexpr double kToneOverNoiseDb = 10;

struct AdcFigures {
  // A tone stands kToneOverNoiseDb clear of the noise, and clear of DC: 15 bins up at least
  // (39 Hz in one block, 2 Hz in 20). Without one the channel sees a DC input, a dead input
  // or a tone too slow for the record: the tone's figures below (frequency to ENOB and the
  // harmonics' frequencies) were not measured and are NaN; only the noise means anything.
  bool sine = false;
  double fundamentalHz = 0;
  double amplitudeCodes = 0;  // the fundamental's peak
  // NaN where the ratio has nothing to stand on (no noise, no harmonics at all): a figure is
  // never a floor value. Harmonics hidden in the noise count as the noise in their bins, so
  // THD is never better than the record can show.
  double snrDb = 0;
  double thdDb = 0;  // the harmonics' power to the fundamental's (dBc, below 0)
  double sinadDb = 0;
  double enob = 0;                              // (SINAD - 1.76 dB) / 6.02 dB
  std::array<double, kHarmonics> harmonicHz{};  // folded into 0 .. half the sample rate
  // The noise in codes: RMS, what is left beside a tone and its harmonics, or the spread
  // about the mean of a DC input; peak to peak, of a DC input.
  double noiseRmsCodes = 0;
  double noisePeakToPeakCodes = 0;
  // The spectrum: bin k at k * binHz, in dB against a full-scale sine (dBFS).
  double binHz = 0;
  std::vector<float> spectrumDbfs;
};

// The figures of `codes`, one channel's consecutive samples as unsigned codes (0 .. 65535),
// taken `sampleRateHz` a second. A record shorter than 64 samples gives no figures (all 0).
AdcFigures MeasureAdcFigures(const std::vector<float>& codes, double sampleRateHz);

// The same for record after record of one length, as a live view measures: the window and
// the transform's plan are made once per length, and `figures` keeps its storage.
class AdcAnalyser {
 public:
  AdcAnalyser();
  ~AdcAnalyser();
  AdcAnalyser(const AdcAnalyser&) = delete;
  AdcAnalyser& operator=(const AdcAnalyser&) = delete;
  void Measure(const std::vector<float>& codes, double sampleRateHz, AdcFigures& figures);

 private:
  struct Plan;
  Plan* plan_ = nullptr;
};

// `channel`'s samples as unsigned codes, block after block, from interleaved blocks laid
// end to end (the card's ring, oldest block first).
void AppendChannelCodes(const BlockView& block, int channel, std::vector<float>& codes);

}  // namespace acquisition
