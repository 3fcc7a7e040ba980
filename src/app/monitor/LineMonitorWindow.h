// The line monitor (全线看板): read-only, as a role granted kzb_reader. Each station's state,
// the yield per hour and per station over the chosen span, the Pareto of failing checks and
// figures, and the control chart of the figure chosen. New runs come as the server announces
// them; a server that goes away is said in the status line, what was shown stays, and the
// worker connects again. Every read is on the worker's thread (MonitorWorker).
#pragma once

#include <QWidget>
#include <memory>

#include "LineSettings.h"
#include "MonitorWorker.h"

class QComboBox;
class QLabel;
class QTableWidget;
class QThread;
class ControlChart;

class LineMonitorWindow : public QWidget {
  Q_OBJECT

 public:
  explicit LineMonitorWindow(const selftest::LineSettings& settings, QWidget* parent = nullptr);
  ~LineMonitorWindow() override;

  // The picture shown last (none before the first).
  const MonitorPicture* picture() const { return picture_.get(); }

 private:
  void Shown(std::shared_ptr<const MonitorPicture> picture);
  void Lost(const base::Failure& failure);
  void Choose();
  void ShowStations();
  void ShowYields();
  void ShowPareto();
  void ShowChart();

  std::string where_;
  QLabel* lblMonitor_;
  QComboBox* cboSpan_;
  QComboBox* cboFigure_;
  QComboBox* cboChartStation_;
  QTableWidget* tblStations_;
  QTableWidget* tblYield_;
  QTableWidget* tblPareto_;
  ControlChart* picControlChart_;
  std::shared_ptr<const MonitorPicture> picture_;
  QThread* thread_;
  MonitorWorker* worker_;
};
