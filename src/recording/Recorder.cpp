#include "Recorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "FolderFiles.h"
#include "SegmentWriter.h"

namespace recording {
namespace {

constexpr double kDescriptionSeconds = 10;  // recording.json rewritten this often
constexpr uint64_t kItemBytes = kRecordBytes + kSummaryRowBytes;

std::string NewId() {
  std::random_device random;
  std::mt19937_64 bits(
      (uint64_t{random()} << 32) ^ random() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char id[33];
  std::snprintf(id, sizeof id, "%016llx%016llx", static_cast<unsigned long long>(bits()),
                static_cast<unsigned long long>(bits()));
  return id;
}

void FillDefaults(RecorderSettings& s) {
  if (!s.freeBytes) s.freeBytes = FreeBytes;
  if (!s.utcMicrosNow) {
    s.utcMicrosNow = [] {
      return std::chrono::duration_cast<std::chrono::microseconds>(
                 std::chrono::system_clock::now().time_since_epoch())
          .count();
    };
  }
  if (!s.steadySeconds) {
    s.steadySeconds = [] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
    };
  }
}

}  // namespace

const char* EndReasonName(EndReason reason) {
  switch (reason) {
    case EndReason::None:
      return "";
    case EndReason::Closed:
      return "closed";
    case EndReason::Duration:
      return "duration reached";
    case EndReason::Size:
      return "size reached";
    case EndReason::DiskFull:
      return "disk full";
    case EndReason::DiskSlow:
      return "disk too slow";
    case EndReason::WriteFailed:
      return "write failed";
  }
  return "";
}

const char* EndReasonCaption(EndReason reason) {
  switch (reason) {
    case EndReason::None:
      return "记录中";
    case EndReason::Closed:
      return "已停止";
    case EndReason::Duration:
      return "已到时长";
    case EndReason::Size:
      return "已到大小";
    case EndReason::DiskFull:
      return "磁盘将满，已停止";
    case EndReason::DiskSlow:
      return "磁盘太慢，写入跟不上，已停止";
    case EndReason::WriteFailed:
      return "写入失败";
  }
  return "";
}

base::Result<std::unique_ptr<Recorder>> Recorder::Start(RecorderSettings settings) {
  FillDefaults(settings);
  const std::string existing = NearestExistingFolder(settings.folder);
  if (auto made = MakeRecordingFolder(settings.folder); !made) return made.failure();
  // A disk already under the reserve would stop the recording at once: refused, and the
  // folders made for it taken away again (only while empty).
  if (const auto free = settings.freeBytes(settings.folder);
      free && *free < settings.reserveBytes + kRecordBytes + kItemBytes) {
    std::error_code ignored;
    for (auto path = std::filesystem::absolute(FileSystemPath(settings.folder), ignored);
         path != FileSystemPath(existing) && path.has_parent_path() &&
         std::filesystem::remove(path, ignored);
         path = path.parent_path()) {
    }
    char reason[160];
    std::snprintf(
        reason, sizeof reason, "%.1f MB free, under the %.1f MB kept free for the recording's end",
        static_cast<double>(*free) / 1e6, static_cast<double>(settings.reserveBytes) / 1e6);
    return base::Failure{base::Failure::Kind::FileNotWritten, settings.folder, reason,
                         base::Failure::Cause::NoSpace};
  }
  Description& d = settings.description;
  d.formatVersion = kFormatVersion;
  d.id = NewId();
  d.channels = kChannels;
  d.points = kPoints;
  d.startUtcMicros = settings.utcMicrosNow();
  d.facts.endUtcMicros = d.startUtcMicros;
  auto writer = SegmentWriter::Create(settings.folder, d, settings.segmentBytes);
  if (!writer) return writer.failure();
  return std::unique_ptr<Recorder>(new Recorder(std::move(settings), std::move(writer.value())));
}

Recorder::Recorder(RecorderSettings settings, std::unique_ptr<SegmentWriter> writer)
    : settings_(std::move(settings)),
      writer_(std::move(writer)),
      guard_(settings_.reserveBytes, settings_.warnSecondsLeft),
      blockMicros_(std::llround(settings_.description.blockSeconds * 1e6)) {
  status_.startUtcMicros = status_.endUtcMicros = settings_.description.startUtcMicros;
  status_.bytes = writer_->bytes();
  guard_.Measured(settings_.freeBytes(settings_.folder), settings_.steadySeconds(),
                  writer_->bytes());
  thread_ = std::thread([this] { Loop(); });
}

Recorder::~Recorder() {
  Close();
}

int64_t Recorder::TimeOf(uint64_t block) const {
  return anchorUtc_ + static_cast<int64_t>(block - anchorBlock_) * blockMicros_;
}

bool Recorder::Queue(const RecordHeader& header, const int16_t* cells) {
  if (queue_.size() >= settings_.queueBlocks + handover_) {
    End(EndReason::DiskSlow);
    return false;
  }
  if (settings_.limitBytes > 0 &&
      status_.bytes + queuedBytes_ + kItemBytes > settings_.limitBytes) {
    End(EndReason::Size);
    return false;
  }
  Item item{header, {}, std::nullopt, std::nullopt};
  if (!spare_.empty()) {
    item.record = std::move(spare_.back());
    spare_.pop_back();
  }
  item.record.resize(kRecordBytes);
  if (cells) {
    std::memcpy(item.record.data() + kHeaderBytes, cells, kPayloadBytes);
  } else {
    std::memset(item.record.data() + kHeaderBytes, 0, kPayloadBytes);
  }
  queue_.push_back(std::move(item));
  queuedBytes_ += kItemBytes;
  wake_.notify_one();
  return true;
}

bool Recorder::Add(const acquisition::BlockView& block, int lostBefore) {
  std::lock_guard lock(mutex_);
  if (status_.ended != EndReason::None || closing_) return false;
  if (block.cellCount() != kCodesPerRecord) return true;  // not a block of this card's shape
  const int64_t started = settings_.utcMicrosNow() - blockMicros_;  // its first sample
  if (!anchored_) {
    anchored_ = true;
    anchorUtc_ = started;
  } else if (paused_) {
    if (!QueuePause(started)) return false;
  } else if (lostBefore > 0) {
    if (!QueueSkipped()) return false;
    const auto count = static_cast<uint32_t>(lostBefore);
    if (!Queue({.flags = kGap, .block = next_, .utcMicros = TimeOf(next_), .count = count},
               nullptr)) {
      return false;
    }
    next_ += count;
  }
  paused_ = false;
  if (!QueueSkipped()) return false;
  if (!Queue({.flags = kBlock, .block = next_, .utcMicros = TimeOf(next_), .count = 1},
             block.cells)) {
    return false;
  }
  ++next_;
  if (settings_.limitSeconds > 0 &&
      static_cast<double>(next_) * settings_.description.blockSeconds >= settings_.limitSeconds) {
    End(EndReason::Duration);
  }
  return true;
}

bool Recorder::Skip(uint64_t blocks) {
  std::lock_guard lock(mutex_);
  if (status_.ended != EndReason::None || closing_) return false;
  const int64_t started = settings_.utcMicrosNow() - blockMicros_;  // its first sample
  if (!anchored_) {  // the skipped blocks are the recording's first: its time starts with them
    anchored_ = true;
    anchorUtc_ = started;
    anchorBlock_ = next_;
  } else if (paused_) {
    if (!QueuePause(started)) return false;
  }
  skipped_ += blocks;
  next_ += blocks;
  if (settings_.limitSeconds > 0 &&
      static_cast<double>(next_) * settings_.description.blockSeconds >= settings_.limitSeconds) {
    (void)QueueSkipped();  // the recording's end is where its time ran out
    End(EndReason::Duration);
  }
  return true;
}

// Stopped and started again: the gap spans the blocks the pause would have held.
bool Recorder::QueuePause(int64_t started) {
  if (!QueueSkipped()) return false;
  const int64_t from = TimeOf(next_);
  const auto count = static_cast<uint32_t>(
      std::max<int64_t>(0, std::llround(static_cast<double>(started - from) / blockMicros_)));
  if (!Queue({.flags = kGap | kPaused, .block = next_, .utcMicros = from, .count = count},
             nullptr)) {
    return false;
  }
  next_ += count;
  anchorBlock_ = next_;
  anchorUtc_ = started;
  paused_ = false;
  return true;
}

// The blocks skipped since the last record, as one record before what comes next.
bool Recorder::QueueSkipped() {
  if (skipped_ == 0) return true;
  const uint64_t from = next_ - skipped_;
  const auto count = static_cast<uint32_t>(std::min<uint64_t>(skipped_, UINT32_MAX));
  skipped_ = 0;
  return Queue({.flags = kGap | kSkipped, .block = from, .utcMicros = TimeOf(from), .count = count},
               nullptr);
}

RecordHeader Recorder::MarkHeader(uint32_t flags) const {
  return {.flags = flags,
          .block = next_,
          .utcMicros = anchored_ ? TimeOf(next_) : settings_.description.startUtcMicros,
          .count = 0};
}

bool Recorder::QueueMarks(std::vector<Item> items) {
  if (settings_.limitBytes > 0 &&
      status_.bytes + queuedBytes_ + items.size() * kItemBytes > settings_.limitBytes) {
    return false;
  }
  for (Item& item : items) {
    queue_.push_back(std::move(item));
    queuedBytes_ += kItemBytes;
  }
  wake_.notify_one();
  return true;
}

bool Recorder::AddEvent(const EventFacts& facts) {
  std::lock_guard lock(mutex_);
  if (status_.ended != EndReason::None || closing_ || next_ == 0) return false;
  // A moment more than a year away is no moment of this recording (nor a number to round).
  if (!(std::abs(facts.secondsAfterLastBlock) < 3.2e7)) return false;
  const double blockSeconds = settings_.description.blockSeconds;
  const auto back = static_cast<int64_t>(std::floor(facts.secondsAfterLastBlock / blockSeconds));
  if (static_cast<int64_t>(next_) - 1 + back < 0) return false;  // before the recording
  EventRecord event{
      .channel = std::clamp(facts.channel, 0, kChannels - 1),
      .edge = facts.edge,
      .levelVolts = facts.levelVolts,
      .block = static_cast<uint64_t>(static_cast<int64_t>(next_) - 1 + back),
      .secondsIntoBlock = facts.secondsAfterLastBlock - static_cast<double>(back) * blockSeconds,
      .utcMicros = 0,
      .gap = facts.gap};
  event.utcMicros = TimeOf(event.block) + std::llround(event.secondsIntoBlock * 1e6);
  Item item{MarkHeader(kEvent), std::vector<uint8_t>(kRecordBytes), event, std::nullopt};
  EncodeEvent(event, item.record.data() + kHeaderBytes);
  std::vector<Item> items;
  items.push_back(std::move(item));
  return QueueMarks(std::move(items));
}

base::Result<> Recorder::AddNote(std::string text, int64_t utcMicros) {
  const auto refused = [this](const std::string& why) {
    return base::Failure{base::Failure::Kind::FileNotWritten, settings_.folder, why,
                         base::Failure::Cause::Other};
  };
  if (!IsUtf8(text)) return refused("the note is not UTF-8 text");
  if (text.size() > kMostNoteBytes) {
    return refused("the note is longer than " + std::to_string(kMostNoteBytes) + " bytes");
  }
  NoteRecord note{.utcMicros = utcMicros, .text = std::move(text)};
  std::vector<Item> items;
  for (const std::vector<uint8_t>& payload : NotePayloads(note)) {
    std::vector<uint8_t> record(kHeaderBytes);
    record.insert(record.end(), payload.begin(), payload.end());
    items.push_back({RecordHeader{}, std::move(record), std::nullopt, std::nullopt});
  }
  items.back().note = std::move(note);
  std::lock_guard lock(mutex_);
  if (status_.ended != EndReason::None || closing_) return refused("the recording has ended");
  for (Item& item : items) item.header = MarkHeader(kNote);
  if (!QueueMarks(std::move(items))) return refused("the recording's size limit leaves no room");
  return {};
}

void Recorder::Handover(size_t blocks) {
  std::lock_guard lock(mutex_);
  handover_ = std::max(handover_, blocks);
}

void Recorder::Pause() {
  std::lock_guard lock(mutex_);
  if (anchored_) paused_ = true;
}

RecorderStatus Recorder::Status() const {
  std::lock_guard lock(mutex_);
  RecorderStatus status = status_;
  status.queued = queuedBytes_ / kItemBytes;
  return status;
}

void Recorder::End(EndReason why) {
  if (status_.ended == EndReason::None) status_.ended = why;
}

void Recorder::End(const base::Failure& failure) {
  if (status_.ended != EndReason::None) return;
  status_.ended = EndReason::WriteFailed;
  status_.detail = failure.reason;
  status_.cause = failure.cause;
}

void Recorder::WriteItem(Item& item) {
  {
    std::lock_guard lock(mutex_);
    if (status_.ended == EndReason::DiskFull || status_.ended == EndReason::WriteFailed) return;
    if (!guard_.Fits(kItemBytes, writer_->bytes())) {
      End(EndReason::DiskFull);
      return;
    }
  }
  const auto written = writer_->WriteRecord(item.header, item.record.data());
  std::lock_guard lock(mutex_);
  queuedBytes_ -= kItemBytes;
  // The backlog's allowance goes as its blocks are written.
  if (handover_ > 0 && !IsMark(item.header.flags)) --handover_;
  if (!written) {
    End(written.failure());
    return;
  }
  const RecordHeader& h = item.header;
  if (h.flags == kBlock) {
    ++status_.blocksRecorded;
  } else if (IsMark(h.flags)) {
    // The writer's description is this thread's alone (see Loop).
    if (item.event) {
      ++status_.events;
      writer_->description().events.push_back(*item.event);
    }
    if (item.note) {
      ++status_.notes;
      writer_->description().notes.push_back(std::move(*item.note));
    }
  } else if (h.flags & kSkipped) {
    status_.blocksSkipped += h.count;
  } else {
    ++status_.gaps;
    if (!(h.flags & kPaused)) status_.blocksLost += h.count;
  }
  status_.endUtcMicros = h.utcMicros + static_cast<int64_t>(h.count) * blockMicros_;
  status_.bytes = writer_->bytes();
}

// Every second: the files onto the disk, the free space read again, and now and then the
// description brought up to date.
void Recorder::Checkpoint(double now) {
  auto synced = writer_->Sync();
  const auto free = settings_.freeBytes(settings_.folder);
  std::lock_guard lock(mutex_);
  if (!synced) End(synced.failure());
  guard_.Measured(free, now, writer_->bytes());
  status_.secondsLeft = guard_.SecondsLeft(writer_->bytes());
  status_.lowOnRoom = guard_.Low(writer_->bytes());
}

void Recorder::Loop() {
  const double syncSeconds = settings_.syncSeconds;
  double lastSync = settings_.steadySeconds(), lastDescription = lastSync;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, std::chrono::duration<double>(syncSeconds),
                   [this] { return !queue_.empty() || closing_; });
    while (!queue_.empty()) {
      Item item = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      WriteItem(item);  // without the lock: the disk may take its time
      lock.lock();
      spare_.push_back(std::move(item.record));
    }
    if (closing_) break;
    const double now = settings_.steadySeconds();
    if (now - lastSync < syncSeconds) continue;
    lastSync = now;
    lock.unlock();
    Checkpoint(now);
    if (now - lastDescription >= kDescriptionSeconds) {
      lastDescription = now;
      // The facts copied under the lock, the file written outside it: a slow disk must not
      // hold up the caller's Add. The writer and its description are this thread's alone.
      RecordingFacts facts;
      {
        std::lock_guard copy(mutex_);
        facts = {.blocksRecorded = status_.blocksRecorded,
                 .blocksLost = status_.blocksLost,
                 .gaps = status_.gaps,
                 .blocksSkipped = status_.blocksSkipped,
                 .endUtcMicros = status_.endUtcMicros,
                 .complete = false,
                 .ended = {}};
      }
      writer_->description().facts = facts;
      (void)writer_->WriteDescription();  // a crash rebuilds it from the segments anyway
    }
    lock.lock();
  }
}

RecorderStatus Recorder::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closing_ && !thread_.joinable()) return status_;
    if (status_.ended == EndReason::None) (void)QueueSkipped();  // the time they stand for
    closing_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  End(EndReason::Closed);
  if (auto synced = writer_->Sync(); !synced) End(synced.failure());
  writer_->description().facts = {.blocksRecorded = status_.blocksRecorded,
                                  .blocksLost = status_.blocksLost,
                                  .gaps = status_.gaps,
                                  .blocksSkipped = status_.blocksSkipped,
                                  .endUtcMicros = status_.endUtcMicros,
                                  .complete = true,
                                  .ended = EndReasonName(status_.ended)};
  if (auto described = writer_->WriteDescription(); !described && status_.detail.empty()) {
    status_.detail = described.failure().reason;
    status_.cause = described.failure().cause;
  }
  status_.bytes = writer_->bytes();
  writer_.reset();  // the files closed: no program holds the recording now
  return status_;
}

}  // namespace recording
