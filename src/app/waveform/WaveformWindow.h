// The waveform window: the latest block of up to four chosen channels, drawn as traces in
// volts over milliseconds, with each trace's figures, or as spectra with each trace's
// converter figures (from the latest block or the last 20). It can be frozen to study one
// block, and a frozen view saved as a picture and as values. A trigger on any channel shows
// the spans around it as an oscilloscope's modes do (自动, 常规, 单次), its level drawn and
// dragged on the plot, the trigger marked with its time. Its recording row keeps every block
// of all 64 channels on disk, for hours.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "BlockFeed.h"
#include "ChannelValues.h"
#include "Trigger.h"
#include "TriggerView.h"
#include "Waveform.h"

class QCheckBox;
class QHBoxLayout;
class QVBoxLayout;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QTimer;
class FrequencyPlot;
class RecordPanel;
class FiguresWorker;
class WaveformPlot;

class WaveformWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTraceSlots = 4;
  static constexpr int kHistoryBlocks = 20;   // the longest record the spectrum view takes
  static constexpr int kLongRecordEvery = 3;  // blocks between two spectra of 20 blocks

  // Pictures and values are offered for saving in `saveFolder` first, then in the folder
  // the operator chose last. With a `feed` (which outlives the window) the window shows the
  // last block of each tick while on view, and its recording takes every block.
  explicit WaveformWindow(const QString& saveFolder, QWidget* parent = nullptr,
                          acquisition::BlockFeed* feed = nullptr);
  ~WaveformWindow() override;

  // Shows `channel` (0-based) unless it is shown already: in the first empty slot, or in
  // place of the last one when all four are taken.
  void AddChannel(int channel);
  // The channels shown, 0-based, in slot order.
  std::vector<int> Channels() const;

  // The block the tick fetched, the `blockNumber`-th received (as the main window counts).
  // Ignored while frozen.
  void ShowBlock(const acquisition::BlockView& block, const acquisition::VoltageScale& scale,
                 int blockNumber);

  // The block the feed's card buffer holds now, as the feed counts it (nothing without a
  // feed).
  void ShowLatest();

  // Lost blocks in this run ("丢失 37 块 (最近 12:03:05)"), shown with the figures; empty for
  // none.
  void SetLossNote(const QString& note);

  bool frozen() const;
  void SetFrozen(bool frozen);
  const std::vector<acquisition::Trace>& traces() const;
  WaveformPlot* plot() const { return plot_; }
  FrequencyPlot* spectrum() const { return spectrum_; }
  bool spectrumShown() const;
  // Waits for the figures on their way and shows them (for tests and benchmarks).
  void WaitForSpectrum();
  const QString& saveFolder() const { return saveFolder_; }
  // The recording row: every block of all 64 channels to disk, while the window shows four.
  RecordPanel* recordPanel() const { return record_; }

  // The trigger's mode as the list offers it; Off shows every tick's block as without one.
  enum class TriggerMode { Off, Auto, Normal, Single };
  void SetTriggerMode(TriggerMode mode);
  // "单次触发": the single shot armed again (the mode becomes single).
  void ArmSingle();
  // What the trigger's rules say of the view now (live blocks, a held span, waiting).
  const acquisition::TriggerView& scope() const { return scope_; }
  // Triggers fired since the trigger was last set up; the plot marks the latest.
  int64_t triggersFired() const { return trigger_ ? trigger_->firedCount() : 0; }
  // The note under the legend now ("等待触发…", "已冻结", …).
  const QString& note() const { return shownNote_; }

  // Writes the frozen view; each returns the reason when the file could not be written.
  QString SavePicture(const QString& path);
  QString SaveValues(const QString& path);

 private:
  void Subscribe();
  void SetUpControls();
  void LayOut();
  QHBoxLayout* TraceSlots();
  void SetUpTriggerControls();
  QVBoxLayout* TriggerRows();
  base::Result<acquisition::TriggerSpec> ControlsTrigger() const;
  // A new trigger from the controls (none when off, refused, or a single shot spent).
  void SetUpTrigger();
  void TriggerFired(const acquisition::FiredTrigger& fired);
  void TriggerCaptured(acquisition::TriggerCapture&& capture);
  void LevelDragged(int index, double volts);
  bool TriggerHolds() const;
  void MeasureSpan();
  void Redraw();
  void Remember(const acquisition::BlockView& block);
  // Hands the shown channels' records to the worker, when the spectrum view is open.
  void MeasureSpectrum(bool force = false);
  void ShowSpectrum(bool shown);
  void ShowAge();
  void ShowNote();
  // Asks for a file name, then saves with `save`; a failure is shown with its reason.
  QString BlockCaption() const;
  QString FileStem() const;
  void ChooseAndSave(const QString& title, const QString& name, const QString& filter,
                     QString (WaveformWindow::*save)(const QString&));

  WaveformPlot* plot_;
  std::array<QComboBox*, kTraceSlots> slots_{};
  QPushButton* freeze_;
  QCheckBox* fit_;
  FrequencyPlot* spectrum_;
  QCheckBox* spectrumBox_;
  QComboBox* recordLength_;
  QPushButton* savePicture_;
  QPushButton* saveValues_;
  QTimer* ageTimer_;
  RecordPanel* record_;
  QComboBox* trigMode_;
  QComboBox* trigChannel_;
  QComboBox* trigKind_;
  QDoubleSpinBox* trigLevel_;
  QDoubleSpinBox* trigHigh_;
  QDoubleSpinBox* trigHyst_;
  QDoubleSpinBox* trigPre_;
  QDoubleSpinBox* trigPost_;
  QPushButton* single_;
  QPushButton* spanFigures_;

  // The last block's cells, its one copy: choosing another channel redraws it at once, and
  // a frozen view keeps it while the card's buffer moves on.
  std::vector<int16_t> cells_;
  acquisition::BlockView block_;  // of cells_
  acquisition::VoltageScale scale_;
  QElapsedTimer lastBlock_;
  int blockNumber_ = 0;
  QDateTime blockTime_;
  QString ageNote_, lossNote_;
  QString saveFolder_;
  std::vector<acquisition::Trace> spare_;  // the plot's previous traces, refilled next
  // The last kHistoryBlocks blocks' cells, oldest overwritten first, for long records;
  // shared with the spectrum's worker while it measures them.
  std::array<std::shared_ptr<std::vector<int16_t>>, kHistoryBlocks> history_;
  int historyBlocks_ = 0, historyNext_ = 0;
  acquisition::BlockView historyShape_;
  std::unique_ptr<FiguresWorker> worker_;
  acquisition::BlockFeed* feed_;
  acquisition::BlockFeed::SubscriberId subscription_ = 0;
  std::vector<int> measuredChannels_;  // of the spectrum last measured
  int measuredBlocks_ = 0, blocksSinceMeasured_ = 0;

  std::unique_ptr<acquisition::Trigger> trigger_;
  acquisition::TriggerView scope_;
  // The span held, shared with the figures' worker while it measures it.
  std::shared_ptr<const acquisition::CapturedSpan> span_;
  acquisition::BlockView spanView_;  // of span_
  int64_t cardBlocks_ = 0;           // since the acquisition's start, lost ones included
  QString triggerProblem_, shownNote_;
};
