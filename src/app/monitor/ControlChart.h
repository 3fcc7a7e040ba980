// One figure's individuals chart: its points in the runs' order, the centre line, the control
// limits and the figure's own limits, and the points that break a run rule marked with the
// rule's number; under it, each rule broken and where. Drawn through PlotFrame.
#pragma once

#include <QColor>
#include <QRect>
#include <utility>
#include <vector>

#include "PlotFrame.h"
#include "Spc.h"

class ControlChart : public PlotFrame {
  Q_OBJECT

 public:
  explicit ControlChart(QWidget* parent = nullptr);

  // The samples, oldest first, and their judgement; `title` names the figure and where.
  void Show(std::vector<spc::Sample> samples, spc::Analysis analysis, const QString& title);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void DrawBackground(QPainter& p) override;

 private:
  // The plot's area and the values it spans, as pixels.
  struct Axes {
    QRect area;
    double low = 0, high = 0;
    size_t count = 0;  // points
    int Y(double value) const;
    int X(size_t point) const;
  };
  using Lines = std::vector<std::pair<double, QColor>>;
  double Value(size_t point) const;
  // The centre line and control limits, then the figure's own limits.
  Lines ChartLines() const;
  Axes AxesFor(const QRect& area, const Lines& lines) const;
  void DrawGrid(QPainter& p, const Axes& axes);
  void DrawPoints(QPainter& p, const Axes& axes, const Lines& lines);
  void DrawLegend(QPainter& p, const QRect& area);

  std::vector<spc::Sample> samples_;
  spc::Analysis analysis_;
  QString title_;
};
