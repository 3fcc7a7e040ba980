// The station's row for the line database: its state in one line (synced, runs waiting, or
// why it cannot be reached), cut to the row's width with the whole state and every refused
// run in its tooltip, and "重试上传" while the line has refused runs. Hidden without a [line].
#pragma once

#include <QString>
#include <QWidget>

#include "LineUploader.h"

class QLabel;
class QPushButton;

class StationLineRow : public QWidget {
  Q_OBJECT

 public:
  StationLineRow(bool hasLine, QWidget* parent);

  void ShowStatus(const production::LineStatus& status);
  // The state cut to the label's width again, once there is one (the window was resized).
  void Refit();

 signals:
  // "重试上传" was clicked: the runs the line refused are to be tried again.
  void retryAsked();

 private:
  void Retry();
  void Elide();

  QLabel* line_;
  QPushButton* retry_;
  QString text_, tip_;  // the state and its tooltip, whole
};
