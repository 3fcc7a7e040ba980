// The converter figures against signals whose answers are known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "AdcFigures.h"

namespace {

using acquisition::MeasureAdcFigures;

constexpr double kRate = 781.25;  // samples a second on one channel of 64
constexpr double kPi = 3.14159265358979323846;

struct Signal {
  const char* name;
  int points;
  double hz;             // 0: a DC input
  double amplitude;      // codes, peak
  double noise;          // codes RMS, white
  double second, third;  // harmonic amplitudes, codes
};

// The signal sampled and quantised to 16 bits, as the card gives it.
std::vector<float> Record(const Signal& s) {
  std::mt19937 random(7);
  std::normal_distribution<double> gauss(0, s.noise);
  std::vector<float> codes(static_cast<size_t>(s.points));
  for (int n = 0; n < s.points; ++n) {
    const double phase = 2 * kPi * s.hz * n / kRate + 0.3;
    const double v = 32768 + (s.hz > 0 ? s.amplitude : 0) * std::sin(phase) +
                     s.second * std::sin(2 * phase) + s.third * std::sin(3 * phase) +
                     (s.noise > 0 ? gauss(random) : 0) + (s.hz > 0 ? 0 : s.amplitude);
    codes[n] = static_cast<float>(std::clamp(std::round(v), 0.0, 65535.0));
  }
  return codes;
}

struct Expected {
  double snrDb, thdDb, enob;  // NAN: not checked
};

// Quantisation alone leaves q^2/12 of noise: 6.02 dB a bit plus 1.76 dB for a full-scale
// sine, 98.09 dB at 16 bits.
double SnrOf(double amplitude, double noiseRms) {
  return 10 * std::log10(amplitude * amplitude / 2 / (noiseRms * noiseRms + 1.0 / 12));
}

struct Case {
  Signal signal;
  Expected expected;
};

const Case kCases[] = {
    {{"ideal 16-bit sine, 20 blocks", 6000, 97.3, 32767, 0, 0, 0}, {SnrOf(32767, 0), NAN, 16.0}},
    {{"ideal 16-bit sine, one block", 300, 61.7, 32767, 0, 0, 0}, {SnrOf(32767, 0), NAN, 16.0}},
    {{"sine in white noise", 6000, 131.9, 16000, 10, 0, 0}, {SnrOf(16000, 10), NAN, NAN}},
    {{"sine in white noise, one block", 300, 131.9, 16000, 10, 0, 0}, {SnrOf(16000, 10), NAN, NAN}},
    // -60 dBc and -70 dBc: THD 10 log(1e-6 + 1e-7) = -59.59 dB.
    {{"second and third harmonics", 6000, 43.1, 20000, 2, 20, 6.3246},
     {SnrOf(20000, 2), -59.586, NAN}},
    // 3 x 301 Hz folds to 121.75 Hz, beside the others.
    {{"a harmonic past half the rate folds back", 6000, 301.0, 20000, 2, 0, 20},
     {SnrOf(20000, 2), -60.0, NAN}},
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.signal.name;
}

class AdcFiguresTest : public testing::TestWithParam<Case> {};

TEST_P(AdcFiguresTest, FiguresMeetTheKnownAnswers) {
  const Case& c = GetParam();
  const auto figures = MeasureAdcFigures(Record(c.signal), kRate);
  EXPECT_TRUE(figures.sine);
  EXPECT_NEAR(figures.fundamentalHz, c.signal.hz, 0.01);
  EXPECT_NEAR(figures.amplitudeCodes, c.signal.amplitude, c.signal.amplitude * 1e-3);
  EXPECT_NEAR(figures.snrDb, c.expected.snrDb, 0.5);
  if (!std::isnan(c.expected.thdDb)) {
    EXPECT_NEAR(figures.thdDb, c.expected.thdDb, 0.5);
  }
  if (!std::isnan(c.expected.enob)) {
    EXPECT_NEAR(figures.enob, c.expected.enob, 0.1);
  }
  EXPECT_NEAR(figures.enob, (figures.sinadDb - 1.76) / 6.02, 1e-9);
  EXPECT_LE(figures.sinadDb, std::min(figures.snrDb, -figures.thdDb));
}

INSTANTIATE_TEST_SUITE_P(KnownSignals, AdcFiguresTest, testing::ValuesIn(kCases),
                         [](const auto& info) {
                           std::string name = info.param.signal.name;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

// A DC input has no tone: its noise is what counts, in codes.
TEST(AdcFigures, ADcInputGivesItsNoiseInCodes) {
  const auto figures = MeasureAdcFigures(Record({"dc", 6000, 0, 7232, 3, 0, 0}), kRate);
  EXPECT_FALSE(figures.sine);
  EXPECT_NEAR(figures.noiseRmsCodes, 3.0, 0.1);
  EXPECT_GE(figures.noisePeakToPeakCodes, 6 * 3.0);
  EXPECT_LE(figures.noisePeakToPeakCodes, 10 * 3.0);

  const auto silent = MeasureAdcFigures(std::vector<float>(6000, 40000.0f), kRate);
  EXPECT_FALSE(silent.sine);
  EXPECT_EQ(silent.noiseRmsCodes, 0);
  EXPECT_EQ(silent.noisePeakToPeakCodes, 0);
  EXPECT_EQ(MeasureAdcFigures(std::vector<float>(63, 1.0f), kRate).binHz, 0);
  // A tone too slow for the record lies in DC's lobe: it cannot be measured.
  EXPECT_FALSE(MeasureAdcFigures(Record({"slow", 300, 20.0, 20000, 2, 0, 0}), kRate).sine);
  EXPECT_TRUE(MeasureAdcFigures(Record({"slow", 6000, 20.0, 20000, 2, 0, 0}), kRate).sine);
}

// Whether a tone is present is decided once, on the figures: a tone kToneOverNoiseDb over
// the noise is, one a few dB short is not, and a dead input never is. Without one no figure
// of a tone holds a number; with one every figure does, and none is a floor value.
TEST(AdcFigures, ATonePresentHasFiguresAndNoneHasNone) {
  // SNR = A^2 / 2 over 100^2 codes of noise: 355 codes is 8 dB, 563 codes 12 dB.
  struct Row {
    Signal signal;
    bool tone;
  };
  const Row rows[] = {
      {{"2 dB under the edge", 3000, 40.0, 355, 100, 0, 0}, false},
      {{"2 dB over the edge", 3000, 40.0, 563, 100, 0, 0}, true},
      {{"a dead input: one code of noise", 3000, 40.0, 0, 1, 0, 0}, false},
      {{"a dead input: 0 V without noise", 3000, 0, 0, 0, 0, 0}, false},
      {{"the test tone, harmonics below the noise", 3000, 40.0, 26214, 1, 0, 0}, true},
  };
  for (const Row& row : rows) {
    const auto f = MeasureAdcFigures(Record(row.signal), kRate);
    const char* what = row.signal.name;
    EXPECT_EQ(f.sine, row.tone) << what << ": SNR " << f.snrDb;
    const double tone[] = {f.fundamentalHz, f.amplitudeCodes, f.snrDb,        f.thdDb,
                           f.sinadDb,       f.enob,           f.harmonicHz[0]};
    for (double figure : tone) EXPECT_EQ(std::isfinite(figure), row.tone) << what;
    EXPECT_TRUE(std::isfinite(f.noiseRmsCodes)) << what;
    if (row.tone) {
      EXPECT_GT(f.thdDb, -150) << what << ": THD below what the noise shows";
    }
  }
}

}  // namespace
