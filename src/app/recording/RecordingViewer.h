// A recording opened for viewing: any four of its 64 channels over the whole recording,
// zoomed and panned down to single samples, with its facts above (card, start and end,
// blocks, losses, gaps) and what could not be read said in red; every record checked and
// the span on view exported as CSV or WAV, off the window's thread.
#pragma once

#include <QWidget>
#include <array>
#include <atomic>
#include <memory>
#include <thread>

#include "RecordingView.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;
class RecordingPlot;

class RecordingViewer : public QWidget {
  Q_OBJECT

 public:
  // Opens `folder`; `failure()` says why when nothing of it could be read.
  RecordingViewer(const QString& folder, QWidget* parent = nullptr);
  ~RecordingViewer() override;

  const QString& failure() const { return failure_; }
  RecordingPlot* plot() const { return plot_; }
  std::vector<int> Channels() const;
  // The span on view to `path`; gives the reason it could not be written, or nothing. The
  // window's own buttons run them off its thread; `Wait` waits for one on its way.
  enum class Format { Csv, Wav };
  void Export(Format format, const QString& path);
  void WaitForExport();
  // Waits for the check of every record that starts when the recording opens.
  void WaitForCheck();

 protected:
  void resizeEvent(QResizeEvent* event) override;  // the span's text cut to its new width

 private:
  void SetUpControls();
  QHBoxLayout* TraceSlots();
  QHBoxLayout* Actions();
  void ShowFacts();
  void ShowMarks();
  void ShowSpan();
  void ChooseAndExport(Format format);
  void ShowExported(const QString& text, bool failed);
  void CheckRecords();
  void ShowChecked(const std::vector<recording::RowPlace>& damaged);

  QString folder_;
  QString failure_;
  std::unique_ptr<recording::RecordingView> view_;
  RecordingPlot* plot_;
  std::array<QComboBox*, 4> slots_{};
  QCheckBox* fit_;
  QLabel* facts_;
  QLabel* problems_;
  QLabel* span_;
  QLabel* exported_;
  QListWidget* marks_;  // the events and notes, in the order they were written
  QPushButton* exportCsv_;
  QPushButton* exportWav_;
  std::thread exporter_;
  std::thread checker_;
  std::atomic<bool> stopCheck_{false};
  uint64_t damagedShown_ = 0;  // the damaged blocks the facts say
};
