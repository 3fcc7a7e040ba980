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
#include "BlockHistory.h"
#include "ChannelValues.h"
#include "TriggerControls.h"
#include "TriggerView.h"
#include "Waveform.h"

class QCheckBox;
class QHBoxLayout;
class QVBoxLayout;
class QComboBox;
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
  static constexpr int kHistoryBlocks = BlockHistory::kBlocks;  // the spectrum's longest record
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
  using TriggerMode = TriggerControls::Mode;
  void SetTriggerMode(TriggerMode mode);
  // "单次触发": the single shot armed again (the mode becomes single).
  void ArmSingle();
  // What the trigger's rules say of the view now (live blocks, a held span, waiting).
  const acquisition::TriggerView& scope() const { return trigger_->scope(); }
  // Triggers fired since the trigger was last set up; the plot marks the latest.
  int64_t triggersFired() const { return trigger_->firedCount(); }
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
  void ConnectTrigger();
  void MeasureSpan();
  void Redraw();
  // Hands the shown channels' records to the worker, when the spectrum view is open.
  void MeasureSpectrum(bool force = false);
  void ShowSpectrum(bool shown);
  void ShowAge();
  void ShowNote();
  QString BlockCaption() const;
  QString FileStem() const;

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
  TriggerControls* trigger_;

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
  BlockHistory history_;                   // the last blocks, for long records
  std::unique_ptr<FiguresWorker> worker_;
  acquisition::BlockFeed* feed_;
  acquisition::BlockFeed::SubscriberId subscription_ = 0;
  std::vector<int> measuredChannels_;  // of the spectrum last measured
  int measuredBlocks_ = 0, blocksSinceMeasured_ = 0;

  QString shownNote_;
};
