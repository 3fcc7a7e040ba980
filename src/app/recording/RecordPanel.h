// The waveform window's recording row: "记录" starts and ends a recording of every block of
// all 64 channels into the folder named (a folder that holds a recording already gets a new
// name, never written over), up to the limit chosen; the line beside it says what the
// recording holds and how long the disk lasts; "备注…" adds the operator's note to it, with
// the time it was asked for. "触发记录" records through the waveform window's trigger as
// the command line does: everything with each trigger an event, or only the spans around
// triggers. The core's recorder writes on its own thread, and a recording
// ends on another, so the window never waits for the disk.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <thread>

#include "Block.h"
#include "BlockFeed.h"
#include "Recorder.h"
#include "TriggerSetup.h"
#include "TriggeredRecording.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

class RecordPanel : public QWidget {
  Q_OBJECT

 public:
  using Facts = std::function<recording::Description()>;
  RecordPanel(const QString& dataFolder, QWidget* parent);
  ~RecordPanel() override;  // a recording in hand is ended and its files closed

  // The card's facts for the next recording (its identity, library, pace).
  void SetFacts(Facts facts) { facts_ = std::move(facts); }
  // The feed a recording takes its blocks from (it outlives the panel); none: Take alone.
  void SetFeed(acquisition::BlockFeed* feed) { feed_ = feed; }
  // The waveform window's trigger, for "触发记录" (a trigger refused gives its reason).
  using TriggerSource = std::function<base::Result<acquisition::TriggerSetup>()>;
  void SetTrigger(TriggerSource trigger) { trigger_ = std::move(trigger); }
  bool recording() const { return recorder_ != nullptr; }
  // Every delivered block, from the card's tick, after `lostBefore` blocks that never came.
  void Take(const acquisition::BlockView& block, int lostBefore);
  // Acquisition stopped: the recording goes on after a gap when it starts again.
  void Pause();

  // What the record button does; each gives the reason a start failed, or nothing.
  QString StartRecording();
  void EndRecording();
  // "备注…": asks for a note and adds it to the recording with the time it was asked for.
  void AskForNote();
  // Waits until a recording being ended has its files closed (for tests).
  void WaitForEnd();
  QString folder() const;

 signals:
  void openRequested(const QString& folder);  // "打开记录…"

 private:
  void ShowStatus();
  void ShowEnded(const recording::RecorderStatus& status, const QString& folder);
  QString NewFolderName() const;
  void SetFailure(const QString& text);
  void StopTaking();

  QPushButton* record_;
  QPushButton* note_;
  QLineEdit* folder_;
  QToolButton* browse_;
  QComboBox* limit_;
  QComboBox* triggered_;  // without a trigger, or "触发记录": all marked, or only the spans
  QLabel* status_;
  QPushButton* open_;
  QTimer* timer_;
  QString dataFolder_;
  Facts facts_;
  TriggerSource trigger_;
  std::unique_ptr<recording::Recorder> recorder_;
  std::unique_ptr<recording::TriggeredRecording> triggering_;  // on recorder_
  acquisition::BlockFeed* feed_ = nullptr;
  acquisition::BlockFeed::SubscriberId subscription_ = 0;  // 0: not taking blocks
  std::thread closer_;  // ends a recording off the window's thread
};
