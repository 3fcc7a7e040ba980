// A recording opened for viewing: any four of its 64 channels over the whole recording,
// zoomed and panned down to single samples, with its facts above (card, start and end,
// blocks, losses, gaps) and what could not be read said in red; the span on view exported
// as CSV or WAV, off the window's thread.
#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <thread>

#include "RecordingView.h"

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
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

 private:
  void SetUpControls();
  QHBoxLayout* TraceSlots();
  QHBoxLayout* Actions();
  void ShowFacts();
  void ShowSpan();
  void ChooseAndExport(Format format);
  void ShowExported(const QString& text, bool failed);

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
  QPushButton* exportCsv_;
  QPushButton* exportWav_;
  std::thread exporter_;
  uint64_t damagedShown_ = 0;  // the damaged blocks the facts say
};
