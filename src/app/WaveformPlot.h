// The waveform view's drawing: up to four traces of one block in volts over milliseconds,
// with axes, grid and a legend that gives each trace's figures. The axes and grid are drawn
// once into a picture of their own, with the legend's names, and reused until the size, the
// volt range or the channels change, so a new block draws only the traces and the figures.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <vector>

#include "Waveform.h"

class WaveformPlot : public QWidget {
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

  // Where the legend (its headings and one row per trace) and the note are drawn: the note
  // has a row of its own under the legend.
  QRect LegendArea() const;
  QRect NoteArea() const;

  static QColor TraceColour(int index);
  // The volt range the axis shows now.
  float lowVolts() const { return low_; }
  float highVolts() const { return high_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect PlotArea() const;
  int LegendTop() const;
  int LegendColumn(int column) const;  // the x of a figure's column
  void UpdateRange();
  void DrawBackground();

  std::vector<acquisition::Trace> traces_;
  double intervalMs_ = 0;
  bool fit_ = false;
  float low_ = -5, high_ = 5;
  QString note_;
  QPixmap background_;  // axes, grid and their labels for the current size and range
  double backgroundSpanMs_ = -1;
  std::vector<int> backgroundChannels_;
};
