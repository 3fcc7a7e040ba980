// The waveform window's trigger: its controls (mode, channel, kind, level or a window's two
// ends, hysteresis, the span kept before and after it, "单次触发", "触发段频谱") and the
// trigger they set up on the window's feed, with what its rules say the view shows now and
// the last span it captured.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "Block.h"
#include "Trigger.h"
#include "TriggerView.h"

class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class WaveformPlot;

class TriggerControls : public QWidget {
  Q_OBJECT

 public:
  // The mode as the list offers it; Off shows every tick's block as without one.
  enum class Mode { Off, Auto, Normal, Single };

  // The levels are drawn on `plot`, and dragged there; without a feed (`hasFeed` false)
  // there are no blocks to trigger on.
  TriggerControls(WaveformPlot* plot, bool hasFeed, QWidget* parent);
  ~TriggerControls() override;

  void SetMode(Mode mode);
  // "单次触发": the single shot armed again (the mode becomes single).
  void ArmSingle();
  // The controls' trigger, read by its text as the command line reads it (the recording row
  // records with it too).
  base::Result<acquisition::TriggerSetup> ControlsTrigger() const;

  // Every block of the feed, `lostBefore` lost ahead of it; the blocks are counted from the
  // acquisition's start so that a trigger set up while the card runs times from there.
  void Feed(const acquisition::BlockView& block, int lostBefore);
  // The acquisition stopped.
  void Stopped();

  // A refused trigger holds nothing: the live blocks show, under the reason.
  bool Holds() const;
  // What the view shows: the `live` block, or the span while the trigger holds one (nothing
  // while it waits for the first). Marks the trigger on the plot when a span is shown.
  acquisition::BlockView Shown(const acquisition::BlockView& live);
  // The span held, shared with the figures' worker while it measures it, and its view.
  const std::shared_ptr<const acquisition::CapturedSpan>& span() const { return span_; }
  const acquisition::BlockView& spanView() const { return spanView_; }
  const acquisition::TriggerView& scope() const { return scope_; }
  int64_t firedCount() const { return trigger_ ? trigger_->firedCount() : 0; }
  // The trigger's notes under the legend, in their order: a refusal, "等待触发…", a spent
  // single shot.
  QStringList Notes() const;
  // The level follows the mouse; a window's ends keep their order.
  void LevelDragged(int index, double volts);

 signals:
  // The trigger was set up anew from the controls.
  void changed();
  void fired();
  // A new span is held.
  void captured();
  // "触发段频谱" was clicked.
  void spanFiguresAsked();

 private:
  void SetUpLists();
  void SetUpBoxes();
  void LayOut();
  bool on() const;
  // A new trigger from the controls (none when off, refused, or a single shot spent).
  void SetUp();
  acquisition::ScopeMode ScopeModeOf(Mode mode) const;
  QString SetupText(acquisition::TriggerKind kind, bool window) const;
  void Captured(acquisition::TriggerCapture&& capture);

  WaveformPlot* plot_;
  bool hasFeed_;
  QComboBox* mode_;
  QComboBox* channel_;
  QComboBox* kind_;
  QDoubleSpinBox* level_;
  QDoubleSpinBox* high_;
  QDoubleSpinBox* hyst_;
  QDoubleSpinBox* pre_;
  QDoubleSpinBox* post_;
  QPushButton* single_;
  QPushButton* spanFigures_;

  std::unique_ptr<acquisition::Trigger> trigger_;
  acquisition::TriggerView scope_;
  std::shared_ptr<const acquisition::CapturedSpan> span_;
  acquisition::BlockView spanView_;  // of span_
  int64_t cardBlocks_ = 0;           // since the acquisition's start, lost ones included
  QString problem_;
};
