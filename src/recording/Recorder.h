// A recording of every delivered block of all 64 channels, written off the caller's thread.
// The caller (the acquisition's thread) hands each block over as it comes, with the blocks
// the loss watch found lost before it; the writer thread writes them as records, the lost
// ones and every Stop and Start as gap records, syncs the files every second and watches
// the disk. The queue between them is bounded: a disk that cannot keep up ends the
// recording with that reason instead of growing memory. Times follow the card's pace from
// the first block's arrival, so a recording's time is card time. Events and notes are
// handed over on the caller's thread too (the window's, beside Add) and go into the same
// queue as the blocks, so they reach the disk with them, synced within the second; the
// writer thread alone keeps the lists recording.json gives of them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Block.h"
#include "Description.h"
#include "DiskGuard.h"
#include "Failure.h"
#include "RecordFormat.h"

namespace recording {

class SegmentWriter;

inline constexpr uint64_t kDefaultSegmentBytes = uint64_t{1} << 30;  // 1 GiB
// The least size limit that holds a block: the segment's description record, one record and
// its summary row.
inline constexpr uint64_t kLeastLimitBytes = 2 * kRecordBytes + kSummaryRowBytes;

struct RecorderSettings {
  std::string folder;
  Description description;  // the card's facts; the id and the start are the recorder's
  uint64_t segmentBytes = kDefaultSegmentBytes;
  double limitSeconds = 0;   // of card time; 0: no limit
  uint64_t limitBytes = 0;   // 0: no limit
  size_t queueBlocks = 128;  // about 50 s at the card's pace
  double syncSeconds = 1;
  double warnSecondsLeft = 30 * 60;
  uint64_t reserveBytes = uint64_t{32} << 20;  // left free at a stop for room
  // The free bytes of the file system that holds `folder`; empty when it cannot say.
  std::function<std::optional<uint64_t>(const std::string& folder)> freeBytes;
  std::function<int64_t()> utcMicrosNow;  // default: the system clock
  std::function<double()> steadySeconds;  // default: the steady clock
};

enum class EndReason {
  None,         // still recording
  Closed,       // by the operator (or the program's end)
  Duration,     // the time limit was reached
  Size,         // the size limit was reached
  DiskFull,     // stopped before the disk was full
  DiskSlow,     // the disk could not keep up: the queue was full
  WriteFailed,  // the system refused a write (`detail` says why)
};

// The word recording.json keeps for each ("closed", "disk full", …), and the operator's
// ("已到时长", "磁盘将满，已停止", …).
const char* EndReasonName(EndReason reason);
const char* EndReasonCaption(EndReason reason);

// A moment to mark in the recording (a trigger that fired), as its caller knows it: the
// time is counted from the first sample of the last block handed to `Add` (negative: in a
// block before it).
struct EventFacts {
  int channel = 0;  // 0 to 63
  EventEdge edge = EventEdge::Rising;
  double levelVolts = 0;
  double secondsAfterLastBlock = 0;
  bool gap = false;  // blocks were lost about it: its time is only as good as the gap allows
};

struct RecorderStatus {
  uint64_t blocksRecorded = 0, blocksLost = 0, gaps = 0;
  uint64_t blocksSkipped = 0;         // left out by choice (Skip)
  uint64_t events = 0, notes = 0;     // written
  uint64_t bytes = 0;                 // on disk so far
  uint64_t queued = 0;                // records handed over and not yet written
  std::optional<double> secondsLeft;  // at the measured rate, by the free space
  bool lowOnRoom = false;             // under the warning's time left
  EndReason ended = EndReason::None;
  std::string detail;  // the system's reason of a failed write
  base::Failure::Cause cause = base::Failure::Cause::Other;  // its kind
  int64_t startUtcMicros = 0, endUtcMicros = 0;
};

class Recorder {
 public:
  // Makes the folder (with its parents) when it is not there; refuses a folder that holds
  // a recording already, or anything that is not a folder, with the reason.
  static base::Result<std::unique_ptr<Recorder>> Start(RecorderSettings settings);
  ~Recorder();  // as Close
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // One delivered block, after `lostBefore` blocks that never came. Never waits for the
  // disk. False once the recording has ended (the block is then not kept).
  bool Add(const acquisition::BlockView& block, int lostBefore);
  // The next `blocks` come at once from the card's own queue (a backlog after a stall): the
  // queue takes them beyond its bound, which is for a disk that falls behind the card, until
  // they are written.
  void Handover(size_t blocks);
  // The next `blocks` came and are left out by choice (outside the spans kept around
  // triggers): written as one kSkipped record before the next block or gap, never counted
  // lost. The time limit counts them. Skip(0) at a block's arrival starts the recording's
  // time there (or, after a Pause, ends the pause's gap there) when the blocks written come
  // later. False once the recording has ended.
  bool Skip(uint64_t blocks);
  // Acquisition stopped: the next block starts after a gap.
  void Pause();
  // An event after the blocks handed over so far, in the recording's time base. False when
  // the recording has ended, no block came yet, the moment lies before the recording, or the
  // size limit leaves no room for it; never waits for the disk.
  bool AddEvent(const EventFacts& event);
  // The operator's note at `utcMicros`, its text kept byte for byte: refused with the
  // reason when it is no UTF-8, longer than kMostNoteBytes, or the recording has ended.
  base::Result<> AddNote(std::string text, int64_t utcMicros);
  RecorderStatus Status() const;
  // Writes what is queued, closes the segment and writes the description complete. A
  // segment gone from its folder ends the recording at the next sync (every second).
  RecorderStatus Close();

  const std::string& folder() const { return settings_.folder; }

 private:
  struct Item {
    RecordHeader header;
    // The whole record (kRecordBytes): the writer puts the header before the payload, so
    // the block is copied once, from the caller's cells.
    std::vector<uint8_t> record;
    // What recording.json lists once the record is written (a note: with its last piece).
    std::optional<EventRecord> event;
    std::optional<NoteRecord> note;
  };

  Recorder(RecorderSettings settings, std::unique_ptr<SegmentWriter> writer);
  bool Queue(const RecordHeader& header, const int16_t* cells);
  // Events and notes: past the queue's bound (they are few), but not past the size limit.
  bool QueueMarks(std::vector<Item> items);
  RecordHeader MarkHeader(uint32_t flags) const;
  bool QueueSkipped();
  bool QueuePause(int64_t started);
  int64_t TimeOf(uint64_t block) const;
  void Loop();
  void WriteItem(Item& item);
  void Checkpoint(double now);
  void End(EndReason why);
  void End(const base::Failure& failure);  // a write failed

  RecorderSettings settings_;
  std::unique_ptr<SegmentWriter> writer_;
  DiskGuard guard_;
  int64_t blockMicros_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  std::vector<std::vector<uint8_t>> spare_;  // records written, for the next blocks
  RecorderStatus status_;
  bool closing_ = false;
  // The caller's side: the next block's number, and the time that numbers count from.
  uint64_t next_ = 0, anchorBlock_ = 0;
  uint64_t skipped_ = 0;  // skipped blocks not yet written as their record
  int64_t anchorUtc_ = 0;
  bool anchored_ = false, paused_ = false;
  uint64_t queuedBytes_ = 0;
  size_t handover_ = 0;  // the queue's allowance for a backlog not yet written

  std::thread thread_;
};

}  // namespace recording
