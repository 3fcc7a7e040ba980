// The waveform view's drawing: up to four traces of one block in volts over milliseconds,
// with axes, grid and a legend that gives each trace's figures. The axes and grid are drawn
// once into a picture of their own, with the legend's names, and reused until the size, the
// volt range or the channels change, so a new block draws only the traces and the figures.
// With a trigger on, its levels are drawn across the plot, each dragged with the mouse to a
// new level, and a captured span's trigger is marked where it fell, with its time.
#pragma once

#include <optional>
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

  // The trigger's levels in volts (one, or a window's two), none without a trigger.
  void SetTriggerLevels(const std::vector<double>& volts);
  const std::vector<double>& triggerLevels() const { return levels_; }
  // The trigger's place on the time axis, in ms from the first point, and its caption
  // ("触发 12.345678 s"); none without a captured span.
  void SetTriggerMark(std::optional<double> ms, const QString& caption);
  const QString& triggerCaption() const { return markCaption_; }
  // Where level `index` is drawn, or -1 when it is off the axis.
  int LevelY(size_t index) const;

  // The volt range the axis shows now.
  float lowVolts() const { return low_; }
  float highVolts() const { return high_; }

 signals:
  // Level `index` dragged to `volts` (within -5 V..+5 V).
  void levelDragged(int index, double volts);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void DrawBackground(QPainter& p) override;

 private:
  void UpdateRange();
  void DrawTraces(QPainter& p, int points) const;
  void DrawFigures(QPainter& p) const;
  void DrawTrigger(QPainter& p, int points) const;
  // The level drawn within a few pixels of `y`, or -1.
  int LevelNear(int y) const;
  double VoltsAt(int y) const;

  std::vector<acquisition::Trace> traces_;
  double intervalMs_ = 0;
  bool fit_ = false;
  float low_ = -5, high_ = 5;
  QString note_;
  std::vector<double> levels_;
  std::optional<double> markMs_;
  QString markCaption_;
  int dragging_ = -1;  // the level being dragged
  // What the background shows: the time span and the channels (and the range, which clears
  // it when it changes).
  double backgroundSpanMs_ = -1;
  std::vector<int> backgroundChannels_;
};
