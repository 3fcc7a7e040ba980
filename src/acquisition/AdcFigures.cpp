#include "AdcFigures.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <limits>

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

// A figure's dB: NaN unless both powers are there, never the floor of an empty one.
double Ratio(double power, double to) {
  return power > 0 && to > 0 && std::isfinite(power / to)
             ? 10 * std::log10(power / to)
             : std::numeric_limits<double>::quiet_NaN();
}

// Power in a tone's bins, and how many bins that is.
struct Tone {
  double power = 0;
  size_t bins = 0;
};

}  // namespace

// What one record length needs, made once: the window, the transform's plan and the
// working arrays.
struct AdcAnalyser::Plan {
  size_t length = 0;  // even: the real transform wants it so
  kiss_fftr_cfg fft = nullptr;
  std::vector<float> window;
  double windowPower = 0;
  std::vector<kiss_fft_scalar> windowed;
  std::vector<kiss_fft_cpx> bins;
  std::vector<double> power;  // one-sided, bins 0 .. length/2
  std::vector<bool> taken;    // bins already given to DC, the fundamental or a harmonic

  explicit Plan(size_t n)
      : length(n),
        fft(kiss_fftr_alloc(static_cast<int>(n), 0, nullptr, nullptr)),
        window(n),
        windowed(n),
        bins(n / 2 + 1),
        power(n / 2 + 1),
        taken(n / 2 + 1) {
    for (size_t i = 0; i < n; ++i) {
      double w = 0, sign = 1;
      for (size_t k = 0; k < std::size(kWindow); ++k, sign = -sign) {
        w += sign * kWindow[k] * std::cos(2 * kPi * static_cast<double>(k * i) / n);
      }
      window[i] = static_cast<float>(w);
      windowPower += w * w;
    }
  }
  ~Plan() { kiss_fftr_free(fft); }

  // The power of each bin, scaled so that a sine of amplitude A sums to A^2 / 2 over its
  // lobe, whatever the window.
  void Transform(const std::vector<float>& codes, double mean) {
    for (size_t i = 0; i < length; ++i) {
      windowed[i] = static_cast<kiss_fft_scalar>((codes[i] - mean) * window[i]);
    }
    kiss_fftr(fft, windowed.data(), bins.data());
    const double scale = 2.0 / (static_cast<double>(length) * windowPower);
    for (size_t k = 0; k < bins.size(); ++k) {
      const double re = bins[k].r, im = bins[k].i;
      power[k] = (re * re + im * im) * scale;
    }
    std::fill(taken.begin(), taken.end(), false);
  }

  Tone Fundamental(AdcFigures& figures, size_t& peak);
  Tone Harmonics(AdcFigures& figures, double sampleRateHz);
  void Conclude(AdcFigures& figures, Tone fundamental, Tone harmonics, size_t peak) const;

  // The power of the lobe's bins not taken yet, and how many they are; takes them.
  std::pair<double, size_t> Take(Lobe lobe) {
    double sum = 0;
    size_t count = 0;
    for (size_t k = lobe.first; k <= lobe.last; ++k) {
      if (taken[k]) continue;
      sum += power[k];
      ++count;
      taken[k] = true;
    }
    return {sum, count};
  }
};

AdcAnalyser::AdcAnalyser() = default;
AdcAnalyser::~AdcAnalyser() {
  delete plan_;
}

AdcFigures MeasureAdcFigures(const std::vector<float>& codes, double sampleRateHz) {
  AdcFigures figures;
  AdcAnalyser().Measure(codes, sampleRateHz, figures);
  return figures;
}

namespace {

// The record's mean; its spread about it and its peak to peak are the noise of a DC input.
double TimeDomain(const std::vector<float>& codes, size_t length, AdcFigures& figures) {
  double sum = 0;
  for (size_t i = 0; i < length; ++i) sum += codes[i];
  const double mean = sum / static_cast<double>(length);
  double spread = 0;
  for (size_t i = 0; i < length; ++i) spread += (codes[i] - mean) * (codes[i] - mean);
  figures.noiseRmsCodes = std::sqrt(spread / static_cast<double>(length));
  const auto [low, high] = std::minmax_element(codes.begin(), codes.begin() + length);
  figures.noisePeakToPeakCodes = *high - *low;
  return mean;
}

}  // namespace

// The fundamental: the highest bin clear of DC, its frequency the power-weighted centre of
// its lobe. DC's lobe and the fundamental's are taken.
Tone AdcAnalyser::Plan::Fundamental(AdcFigures& figures, size_t& peak) {
  const size_t count = power.size();
  Take(LobeAround(0, count));
  peak = kLobe + 1;
  for (size_t k = kLobe + 1; k < count; ++k) {
    if (power[k] > power[peak]) peak = k;
  }
  const Lobe lobe = LobeAround(peak, count);
  double weighted = 0, lobePower = 0;
  for (size_t k = lobe.first; k <= lobe.last; ++k) {
    weighted += static_cast<double>(k) * power[k];
    lobePower += power[k];
  }
  const auto [taken, takenBins] = Take(lobe);
  figures.fundamentalHz = lobePower > 0 ? weighted / lobePower * figures.binHz : 0;
  return {taken, takenBins};
}

// The harmonics 2 to kHarmonics + 1, folded as the converter sees them; their lobes taken.
Tone AdcAnalyser::Plan::Harmonics(AdcFigures& figures, double sampleRateHz) {
  Tone harmonics;
  for (int h = 0; h < kHarmonics; ++h) {
    const double hz = Folded((h + 2) * figures.fundamentalHz, sampleRateHz);
    figures.harmonicHz[h] = hz;
    const auto bin = static_cast<size_t>(std::lround(hz / figures.binHz));
    const auto [lobePart, lobeBins] =
        Take(LobeAround(std::min(bin, power.size() - 1), power.size()));
    harmonics.power += lobePart;
    harmonics.bins += lobeBins;
  }
  return harmonics;
}

// The bins left hold noise alone; the bins under the tones hold as much again, which comes
// off the tones' power and counts as noise: the noise spreads over the whole band.
void AdcAnalyser::Plan::Conclude(AdcFigures& figures, Tone fundamentalTone, Tone harmonicTones,
                                 size_t peak) const {
  double noise = 0;
  size_t noiseBins = 0;
  for (size_t k = 0; k < power.size(); ++k) {
    if (taken[k]) continue;
    noise += power[k];
    ++noiseBins;
  }
  const double noisePerBin = noiseBins ? noise / static_cast<double>(noiseBins) : 0;
  const double fundamental = std::max(
      fundamentalTone.power - noisePerBin * static_cast<double>(fundamentalTone.bins), 0.0);
  const double harmonics =
      std::max(harmonicTones.power - noisePerBin * static_cast<double>(harmonicTones.bins), 0.0);
  noise = noisePerBin * static_cast<double>(power.size() - 1);
  figures.amplitudeCodes = std::sqrt(2 * fundamental);
  figures.snrDb = Ratio(fundamental, noise);
  figures.sinadDb = Ratio(fundamental, noise + harmonics);
  figures.enob = (figures.sinadDb - 1.76) / 6.02;
  // On the powers, not the SNR, so that a tone over no noise at all is a tone too; and far
  // enough from DC that the two lobes do not meet.
  figures.sine = fundamental > noise * std::pow(10.0, kToneOverNoiseDb / 10) && peak > 2 * kLobe;
  if (!figures.sine) {
    // No tone: nothing of one was measured, whatever the highest bin happened to be.
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    figures.fundamentalHz = figures.amplitudeCodes = kNone;
    figures.snrDb = figures.thdDb = figures.sinadDb = figures.enob = kNone;
    figures.harmonicHz.fill(kNone);
    return;
  }
  const double hiddenHarmonics = noisePerBin * static_cast<double>(harmonicTones.bins);
  figures.thdDb = Ratio(std::max(harmonics, hiddenHarmonics), fundamental);
  figures.noiseRmsCodes = std::sqrt(noise);
}

void AdcAnalyser::Measure(const std::vector<float>& codes, double sampleRateHz,
                          AdcFigures& figures) {
  std::vector<float> spectrum = std::move(figures.spectrumDbfs);
  figures = AdcFigures{};
  if (codes.size() < kShortestRecord || sampleRateHz <= 0) return;
  const size_t length = codes.size() & ~size_t{1};
  if (!plan_ || plan_->length != length) {
    delete plan_;
    plan_ = new Plan(length);
  }
  Plan& plan = *plan_;
  plan.Transform(codes, TimeDomain(codes, length, figures));
  figures.binHz = sampleRateHz / static_cast<double>(length);
  spectrum.resize(plan.power.size());
  const double fullScalePower = kFullScaleAmplitude * kFullScaleAmplitude / 2;
  for (size_t k = 0; k < spectrum.size(); ++k) {
    spectrum[k] = static_cast<float>(Db(plan.power[k] / fullScalePower));
  }
  figures.spectrumDbfs = std::move(spectrum);
  size_t peak = 0;
  const Tone fundamental = plan.Fundamental(figures, peak);
  const Tone harmonics = plan.Harmonics(figures, sampleRateHz);
  plan.Conclude(figures, fundamental, harmonics, peak);
}

void AppendChannelCodes(const BlockView& block, int channel, std::vector<float>& codes) {
  if (block.empty() || channel < 0 || channel >= block.channels) return;
  for (int pt = 0; pt < block.points; ++pt) {
    codes.push_back(static_cast<float>(UnsignedCode(block.cell(pt, channel))));
  }
}

}  // namespace acquisition
