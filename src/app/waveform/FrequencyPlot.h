// The spectrum view of the waveform window: each trace's spectrum in dB against a
// full-scale sine over 0 Hz to half the sample rate, its fundamental and harmonics marked,
// and a legend with each trace's converter figures (frequency, amplitude, SNR, THD, SINAD,
// ENOB, noise in codes).
#pragma once

#include <vector>

#include "AdcFigures.h"
#include "ChannelValues.h"
#include "PlotFrame.h"

class FrequencyPlot : public PlotFrame {
  Q_OBJECT

 public:
  explicit FrequencyPlot(QWidget* parent = nullptr);

  // The figures of `channels` (0-based), measured from records of `recordPoints` points at
  // `sampleRateHz`; the plot keeps them until the next call.
  void SetFigures(std::vector<int> channels, std::vector<acquisition::AdcFigures> figures,
                  size_t recordPoints, double sampleRateHz, const acquisition::VoltageScale& scale);
  const std::vector<int>& channels() const { return channels_; }
  const std::vector<acquisition::AdcFigures>& figures() const { return figures_; }
  size_t recordPoints() const { return recordPoints_; }
  double sampleRateHz() const { return sampleRateHz_; }
  // A note on the record's line ("丢失 37 块 (最近 12:03:05)"), empty for none.
  void SetNote(const QString& note);

  // A figure as the legend shows it: "85.2 dB", "13.61 bits", "< -150 dB".
  static QString FigureText(double value, const char* unit, int decimals);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The axes, grid, legend headings and names and the record's line, drawn once into a
  // picture of their own and reused until the size, the channels or the record change, so
  // new figures draw only the spectra and the numbers.
  void DrawBackground(QPainter& p) override;

 private:
  void DrawSpectrum(QPainter& p, int trace) const;
  void DrawFigures(QPainter& p) const;

  std::vector<int> channels_;
  std::vector<acquisition::AdcFigures> figures_;
  size_t recordPoints_ = 0;
  double sampleRateHz_ = 0;
  acquisition::VoltageScale scale_;
  QString note_;
  std::vector<int> backgroundChannels_;
  size_t backgroundPoints_ = 0;
  double backgroundRate_ = -1;
};
