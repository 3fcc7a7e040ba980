// One figure's individuals chart: its points in the runs' order, the centre line, the control
// limits and the figure's own limits, and the points that break a run rule marked with the
// rule's number; under it, each rule broken and where. Drawn through PlotFrame.
#pragma once

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
  std::vector<spc::Sample> samples_;
  spc::Analysis analysis_;
  QString title_;
};
