#include "AdcFigures.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

#include "ChannelValues.h"

namespace acquisition {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLobe = 7;  // bins either side of a tone that the window spreads it over
constexpr double kFullScaleAmplitude = 32768;  // codes: a sine from code 0 to 65535
constexpr size_t kShortestRecord = 64;

// 7-term Blackman-Harris coefficients.
constexpr double kWindow[] = {0.27105140069342, 0.43329793923448, 0.21812299954311,
                              0.06592544638803, 0.01081174209837, 0.00077658482522,
                              0.00001388721735};

double WindowAt(size_t n, size_t length) {
  double w = 0, sign = 1;
  for (size_t k = 0; k < std::size(kWindow); ++k, sign = -sign) {
    w += sign * kWindow[k] * std::cos(2 * kPi * static_cast<double>(k * n) / length);
  }
  return w;
}

// The one-sided power of each bin 0 .. N/2, scaled so that a sine of amplitude A sums to
// A^2 / 2 over its lobe, whatever the window.
std::vector<double> PowerSpectrum(const std::vector<float>& codes, double mean) {
  const size_t n = codes.size() & ~size_t{1};  // the real transform wants an even length
  std::vector<kiss_fft_scalar> windowed(n);
  double windowPower = 0;
  for (size_t i = 0; i < n; ++i) {
    const double w = WindowAt(i, n);
    windowed[i] = static_cast<kiss_fft_scalar>((codes[i] - mean) * w);
    windowPower += w * w;
  }
  std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)> plan(
      kiss_fftr_alloc(static_cast<int>(n), 0, nullptr, nullptr), &kiss_fftr_free);
  std::vector<kiss_fft_cpx> bins(n / 2 + 1);
  kiss_fftr(plan.get(), windowed.data(), bins.data());
  std::vector<double> power(bins.size());
  const double scale = 2.0 / (static_cast<double>(n) * windowPower);
  for (size_t k = 0; k < bins.size(); ++k) {
    const double re = bins[k].r, im = bins[k].i;
    power[k] = (re * re + im * im) * scale;
  }
  return power;
}

// Bins [first, last] of a tone at `bin`, inside the spectrum.
struct Lobe {
  size_t first, last;
};
Lobe LobeAround(size_t bin, size_t bins) {
  return {bin > kLobe ? bin - kLobe : 0, std::min(bins - 1, bin + kLobe)};
}

// A frequency folded into 0 .. half the sample rate, as a sampled converter sees it.
double Folded(double hz, double sampleRateHz) {
  double f = std::fmod(hz, sampleRateHz);
  return f > sampleRateHz / 2 ? sampleRateHz - f : f;
}

double Db(double ratio) {
  return 10 * std::log10(std::max(ratio, 1e-30));
}

}  // namespace

AdcFigures MeasureAdcFigures(const std::vector<float>& codes, double sampleRateHz) {
  AdcFigures figures;
  if (codes.size() < kShortestRecord || sampleRateHz <= 0) return figures;
  const double mean =
      std::accumulate(codes.begin(), codes.end(), 0.0) / static_cast<double>(codes.size());
  double spread = 0;
  for (float c : codes) spread += (c - mean) * (c - mean);
  figures.noiseRmsCodes = std::sqrt(spread / static_cast<double>(codes.size()));
  const auto [low, high] = std::minmax_element(codes.begin(), codes.end());
  figures.noisePeakToPeakCodes = *high - *low;

  const std::vector<double> power = PowerSpectrum(codes, mean);
  const size_t bins = power.size();
  figures.binHz = sampleRateHz / static_cast<double>(2 * (bins - 1));
  figures.spectrumDbfs.resize(bins);
  const double fullScalePower = kFullScaleAmplitude * kFullScaleAmplitude / 2;
  for (size_t k = 0; k < bins; ++k) {
    figures.spectrumDbfs[k] = static_cast<float>(Db(power[k] / fullScalePower));
  }

  // Bins already given to DC, the fundamental or a harmonic.
  std::vector<bool> taken(bins, false);
  const auto take = [&](Lobe lobe) {
    double sum = 0;
    for (size_t k = lobe.first; k <= lobe.last; ++k) {
      if (!taken[k]) sum += power[k];
      taken[k] = true;
    }
    return sum;
  };
  take(LobeAround(0, bins));
  size_t peak = kLobe + 1;
  for (size_t k = kLobe + 1; k < bins; ++k) {
    if (power[k] > power[peak]) peak = k;
  }
  const Lobe fundamentalLobe = LobeAround(peak, bins);
  double weighted = 0, lobePower = 0;
  for (size_t k = fundamentalLobe.first; k <= fundamentalLobe.last; ++k) {
    weighted += static_cast<double>(k) * power[k];
    lobePower += power[k];
  }
  const double fundamentalPower = take(fundamentalLobe);
  figures.fundamentalHz = lobePower > 0 ? weighted / lobePower * figures.binHz : 0;

  double harmonicPower = 0;
  size_t harmonicBins = 0;
  for (int h = 0; h < kHarmonics; ++h) {
    const double hz = Folded((h + 2) * figures.fundamentalHz, sampleRateHz);
    figures.harmonicHz[h] = hz;
    const auto bin = static_cast<size_t>(std::lround(hz / figures.binHz));
    const size_t before = static_cast<size_t>(std::count(taken.begin(), taken.end(), true));
    harmonicPower += take(LobeAround(std::min(bin, bins - 1), bins));
    harmonicBins += static_cast<size_t>(std::count(taken.begin(), taken.end(), true)) - before;
  }
  // The bins left hold noise alone; the bins under the tones hold as much again, which
  // comes off the tones' power and counts as noise: the noise spreads over the whole band.
  double noise = 0;
  size_t noiseBins = 0;
  for (size_t k = 0; k < bins; ++k) {
    if (taken[k]) continue;
    noise += power[k];
    ++noiseBins;
  }
  const double noisePerBin = noiseBins ? noise / static_cast<double>(noiseBins) : 0;
  const double fundamentalLobeBins =
      static_cast<double>(fundamentalLobe.last - fundamentalLobe.first + 1);
  const double fundamental = std::max(fundamentalPower - noisePerBin * fundamentalLobeBins, 0.0);
  const double harmonics =
      std::max(harmonicPower - noisePerBin * static_cast<double>(harmonicBins), 0.0);
  noise = noisePerBin * static_cast<double>(bins - 1);
  figures.amplitudeCodes = std::sqrt(2 * fundamental);

  figures.snrDb = Db(fundamental / noise);
  figures.thdDb = Db(harmonics / fundamental);
  figures.sinadDb = Db(fundamental / (noise + harmonics));
  figures.enob = (figures.sinadDb - 1.76) / 6.02;
  // A tone 10 dB over all the noise: white noise alone puts some 20 dB less in one lobe.
  figures.sine = figures.snrDb > 10;
  if (figures.sine) figures.noiseRmsCodes = std::sqrt(noise);
  return figures;
}

void AppendChannelCodes(const BlockView& block, int channel, std::vector<float>& codes) {
  if (block.empty() || channel < 0 || channel >= block.channels) return;
  for (int pt = 0; pt < block.points; ++pt) {
    codes.push_back(static_cast<float>(UnsignedCode(block.cell(pt, channel))));
  }
}

}  // namespace acquisition
