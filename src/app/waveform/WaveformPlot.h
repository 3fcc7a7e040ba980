// The waveform view's drawing: up to four traces of one block in volts over milliseconds,
// with axes, grid and a legend that gives each trace's figures. The axes and grid are drawn
// once into a picture of their own, with the legend's names, and reused until the size, the
// volt range or the channels change, so a new block draws only the traces and the figures.
#pragma once

#include <vector>

#include "PlotFrame.h"
#include "Waveform.h"

class WaveformPlot : public PlotFrame {
  Q_OBJECT

 public:
  explicit WaveformPlot(QWidget* parent = nullptr);

  // The traces to draw; the time axis runs over their points at `pointIntervalMs`. The plot
  // takes them over and hands back the previous ones in `traces`, whose storage the next
  // block reuses, so nothing is copied.
  void SwapTraces(std::vector<acquisition::Trace>& traces, double pointIntervalMs);
  const std::vector<acquisition::Trace>& traces() const { return traces_; }
  double pointIntervalMs() const { return intervalMs_; }
  // -5 V to +5 V, or the range of the data with a margin.
  void SetFitToData(bool fit);
  // A note under the legend ("最后数据: 3 秒前"), empty for none.
  void SetNote(const QString& note);

  // The volt range the axis shows now.
  float lowVolts() const { return low_; }
  float highVolts() const { return high_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void DrawBackground(QPainter& p) override;

 private:
  void UpdateRange();
  void DrawTraces(QPainter& p, int points) const;
  void DrawFigures(QPainter& p) const;

  std::vector<acquisition::Trace> traces_;
  double intervalMs_ = 0;
  bool fit_ = false;
  float low_ = -5, high_ = 5;
  QString note_;
  // What the background shows: the time span and the channels (and the range, which clears
  // it when it changes).
  double backgroundSpanMs_ = -1;
  std::vector<int> backgroundChannels_;
};
