// A recording drawn over its time: up to four channels in volts against the local time of
// day, from the view's per-column ranges (the samples themselves once few enough are in
// view), the gaps shaded with their counts. The wheel zooms about the pointer, a drag pans,
// a double click shows the whole; the tooltip gives the time in local time and UTC and each
// trace's value there.
#pragma once

#include <vector>

#include "PlotFrame.h"
#include "RecordingView.h"

class RecordingPlot : public PlotFrame {
  Q_OBJECT

 public:
  explicit RecordingPlot(QWidget* parent);

  void SetView(recording::RecordingView* view);
  void SetChannels(const std::vector<int>& channels);
  void SetFitToData(bool fit);
  // The span on view, in UTC µs; held inside the recording, and at least a few samples.
  void SetSpan(int64_t from, int64_t to);
  void ShowAll();
  void Zoom(double factor, double atFraction = 0.5);  // < 1 zooms in
  void Pan(double fraction);                          // of the span; < 0 goes back
  int64_t from() const { return from_; }
  int64_t to() const { return to_; }
  float lowVolts() const { return low_; }
  float highVolts() const { return high_; }
  // What the traces show now: the samples (true) or the per-column ranges.
  bool showsSamples() const { return samples_; }

 signals:
  void spanChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void DrawBackground(QPainter& p) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  static constexpr size_t kSampledBlocks = 48;  // read for the samples themselves
  void Gather();  // the traces of the span, and the volts range they need
  void ColumnsOfSamples(const std::vector<recording::ViewSample>& samples, int width,
                        std::vector<recording::ViewColumn>& columns) const;
  double XOf(int64_t t) const;
  int64_t TimeAt(double x) const;
  int YOf(float volts) const;
  void DrawTimeAxis(QPainter& p) const;
  void DrawGaps(QPainter& p) const;
  void DrawTraces(QPainter& p) const;

  recording::RecordingView* view_ = nullptr;
  std::vector<int> channels_;
  bool fit_ = false;
  int64_t from_ = 0, to_ = 1;
  float low_ = -5, high_ = 5;
  bool samples_ = false;
  std::vector<std::vector<recording::ViewColumn>> columns_;
  std::vector<std::vector<recording::ViewSample>> sampled_;
  double dragX_ = -1;
  int64_t dragFrom_ = 0;
};
