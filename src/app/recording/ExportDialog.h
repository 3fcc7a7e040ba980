// The viewer's export of a span for analysis tools: the format (HDF5, CSV, WAV, npy), the
// span as times from the recording's start or moments, the channels as a list ("1-16,33"),
// volts or codes, and the file; written on a thread of its own, with its own view of the
// recording, a progress bar and a cancel that leaves no file.
#pragma once

#include <QDialog>
#include <atomic>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class ExportDialog : public QDialog {
  Q_OBJECT

 public:
  // `from` and `to` (µs UTC) and `channels` (0-based): the span and the traces on view.
  ExportDialog(const QString& folder, int64_t startMicros, int64_t from, int64_t to,
               const std::vector<int>& channels, QWidget* parent);
  ~ExportDialog() override;  // an export on its way is cancelled and waited for

  // Starts the export the fields ask for (what the export button does).
  void Start();
  // Waits for an export on its way, and takes its outcome.
  void WaitForExport();

 protected:
  void reject() override;  // "取消" cancels an export on its way; else closes

 private:
  void LayOut();
  void Finished(const QString& text, bool failed);
  void Busy(bool busy);

  QString folder_;
  int64_t start_;
  QComboBox* format_;
  QLineEdit* from_;
  QLineEdit* to_;
  QLineEdit* channels_;
  QCheckBox* volts_;
  QLineEdit* path_;
  QProgressBar* progress_;
  QLabel* said_;
  QPushButton* export_;
  QPushButton* cancel_;
  std::thread exporter_;
  std::atomic<bool> cancelled_{false};
  std::atomic<int> shownPercent_{-1};
};
