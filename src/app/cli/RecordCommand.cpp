#include "RecordCommand.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "CardIdentity.h"
#include "CardLibrary.h"
#include "CardRecording.h"
#include "CauseText.h"
#include "DataDirectory.h"
#include "DllDef.h"
#include "ExitStatus.h"
#include "FolderFiles.h"
#include "NumberForms.h"
#include "OpenRecordings.h"
#include "Profile.h"
#include "ProgramFolders.h"
#include "RecordingLimits.h"
#include "RecordingReader.h"
#include "ShownInput.h"
#include "SingleInstance.h"
#include "StartStop.h"
#include "TerminationSignals.h"
#include "TriggerSetup.h"
#include "TriggeredRecording.h"
#include "WholeFile.h"

namespace {

constexpr int kEndedEarly = 1, kNotStarted = 2;

int NotStarted(const char* what, const std::string& subject, const std::string& reason) {
  std::fprintf(stderr, "kzb7310: %s: %s: %s\n", what, subject.c_str(), reason.c_str());
  return kNotStarted;
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string EndText(const recording::RecorderStatus& s) {
  std::string text =
      std::string(recording::EndReasonCaption(s.ended)) + " " + recording::EndReasonName(s.ended);
  return s.detail.empty() ? text : text + ": " + base::ReasonInChinese(s.cause, s.detail);
}

// Closes the recording; a disk that takes long to take the last blocks is said on standard
// error, so an operator who pressed Ctrl+C knows the program waits and for what.
recording::RecorderStatus CloseSaying(recording::Recorder& recorder) {
  std::mutex mutex;
  std::condition_variable closed;
  bool done = false;
  std::thread watch([&] {
    std::unique_lock lock(mutex);
    if (closed.wait_for(lock, std::chrono::seconds(2), [&] { return done; })) return;
    std::fprintf(stderr,
                 "kzb7310: 正在等待磁盘写完最后的数据块 waiting for the disk to take the last "
                 "blocks: %s\n",
                 recorder.folder().c_str());
  });
  const recording::RecorderStatus status = recorder.Close();
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  closed.notify_one();
  watch.join();
  return status;
}

void SaySummary(const std::string& folder, const recording::RecorderStatus& s) {
  std::printf(
      "记录结束 recording ended, %s: %s\n"
      "  已记录 %llu 块 blocks recorded, 丢失 %llu 块 blocks lost, 间断 %llu 处 gaps\n"
      "  开始 start %s (%s)\n"
      "  结束 end   %s (%s)\n",
      EndText(s).c_str(), folder.c_str(), static_cast<unsigned long long>(s.blocksRecorded),
      static_cast<unsigned long long>(s.blocksLost), static_cast<unsigned long long>(s.gaps),
      recording::LocalText(s.startUtcMicros).c_str(), recording::UtcText(s.startUtcMicros).c_str(),
      recording::LocalText(s.endUtcMicros).c_str(), recording::UtcText(s.endUtcMicros).c_str());
  std::fflush(stdout);
}

// How many triggers came; a trigger that never came is said, not left to be guessed.
void SayTriggers(int64_t fired, const recording::RecorderStatus& s) {
  if (fired == 0) {
    std::printf("  未见触发 no trigger came\n");
  } else {
    std::printf(
        "  触发 %lld 次 triggers, 已记为事件 %llu events written, 跳过 %llu 块 blocks "
        "skipped\n",
        static_cast<long long>(fired), static_cast<unsigned long long>(s.events),
        static_cast<unsigned long long>(s.blocksSkipped));
  }
  std::fflush(stdout);
}

// A line a minute while it goes, and one warning when the disk has under 30 minutes left.
std::function<void(const recording::RecorderStatus&)> Progress() {
  return [lastSaid = SteadySeconds(), warned = false](const recording::RecorderStatus& s) mutable {
    if (s.lowOnRoom && !warned) {
      warned = true;
      std::fprintf(stderr,
                   "kzb7310: 磁盘空间只够再记录约 %.0f 分钟 the disk has room for about %.0f "
                   "more minutes\n",
                   *s.secondsLeft / 60, *s.secondsLeft / 60);
    }
    if (SteadySeconds() - lastSaid < 60) return;
    lastSaid = SteadySeconds();
    std::printf("已记录 %llu 块 blocks, 丢失 %llu lost, %s MB\n",
                static_cast<unsigned long long>(s.blocksRecorded),
                static_cast<unsigned long long>(s.blocksLost),
                numtext::Fixed(static_cast<double>(s.bytes) / 1e6, 1).c_str());
    std::fflush(stdout);
  };
}

// What the command line asks of the recording.
struct Limits {
  double seconds = 0;
  uint64_t bytes = 0;
  std::string station;  // the profile's station name, for the description
  std::optional<acquisition::TriggerSetup> trigger;
};

// Why a recording cannot begin, before the card is touched.
std::optional<int> RefusedBeforeTheCard(const RecordArguments& args, Limits& limits) {
  if (!args.duration.empty()) {
    const auto seconds = recording::ParseDuration(args.duration);
    if (!seconds)
      return NotStarted("--duration takes 8h, 90m, 1h30m, 45s", args.duration, "not a time");
    limits.seconds = *seconds;
  }
  if (!args.size.empty()) {
    const auto bytes = recording::ParseSize(args.size);
    if (!bytes) return NotStarted("--size takes 2G, 500M or bytes", args.size, "not a size");
    if (*bytes < recording::kLeastLimitBytes) {
      return NotStarted("--size 太小，记录不下一个数据块 holds not one block", args.size,
                        "at least " + std::to_string(recording::kLeastLimitBytes) + " bytes");
    }
    limits.bytes = *bytes;
  }
  if (args.trigger.empty() && (!args.pre.empty() || !args.post.empty() || args.onlyTriggered)) {
    return NotStarted("--pre, --post and --only-triggered go with --trigger", args.folder,
                      "no trigger given");
  }
  if (!args.trigger.empty()) {
    auto setup = acquisition::ParseTriggerSetup(args.trigger, args.pre, args.post);
    if (!setup) {
      return NotStarted("触发条件无法使用，记录未开始 trigger refused, nothing recorded",
                        base::ShownInput(args.trigger), base::ReasonInChinese(setup.failure()));
    }
    limits.trigger = setup.value();
  }
  if (!args.profile.empty()) {
    auto profile = selftest::LoadProfile(args.profile);
    if (!profile) {
      return NotStarted("配置无法使用，记录未开始 profile refused, nothing recorded",
                        profile.failure().subject, profile.failure().reason);
    }
    limits.station = selftest::StationName(profile.value());
  }
  // Checked, not made: the recorder makes it once the card is ours and started.
  if (auto usable = recording::RecordingFolderUsable(args.folder); !usable) {
    return NotStarted("记录文件夹无法使用，记录未开始 the folder cannot take a recording",
                      usable.failure().subject, base::ReasonInChinese(usable.failure()));
  }
  return std::nullopt;
}

std::optional<int> RecordingRefusedTheCard(const SingleInstance& instance,
                                           const std::string& library) {
  if (instance.state() == SingleInstance::State::AlreadyRuns) {
    std::fprintf(stderr, "kzb7310: %s，记录未开始 the card is in use, nothing recorded\n",
                 CardInUseText(instance).c_str());
    return kNotStarted;
  }
  if (instance.state() == SingleInstance::State::NoLock) {
    return NotStarted("无法确认板卡没有被另一个程序使用 the card lock cannot be made", library,
                      instance.holder());
  }
  return std::nullopt;
}

int StatusOf(const recording::RecorderStatus& s, const Limits& limits, bool interrupted,
             bool cardFailed) {
  using recording::EndReason;
  if (s.ended == EndReason::WriteFailed || !s.detail.empty()) return kExitNotWritten;
  if (cardFailed || s.ended == EndReason::DiskFull || s.ended == EndReason::DiskSlow) {
    return kEndedEarly;
  }
  const bool limited = limits.seconds > 0 || limits.bytes > 0;
  if (interrupted && limited && s.ended == EndReason::Closed) return kExitInterrupted;
  return 0;
}

}  // namespace

void RepairInterruptedRecordings() {
  const std::string registry = production::RecordingRegistry();
  for (const std::string& folder : recording::InterruptedRecordings(registry)) {
    if (!recording::HoldsRecording(folder)) {
      recording::NoteClosed(registry, folder);  // moved or removed since
      continue;
    }
    auto repaired = recording::RepairRecording(folder);
    if (!repaired) {
      std::fprintf(stderr,
                   "kzb7310: 上次的记录被中断，无法修复 an interrupted recording cannot be "
                   "repaired: %s: %s\n",
                   folder.c_str(), repaired.failure().reason.c_str());
      continue;
    }
    const recording::RecordingIndex& index = repaired.value().index;
    std::fprintf(stderr,
                 "kzb7310: 上次的记录被中断，已修复 an interrupted recording was repaired: %s: "
                 "%llu 块 blocks up to %s, %llu bytes of a torn end cut off\n",
                 folder.c_str(), static_cast<unsigned long long>(index.blocksRecorded),
                 recording::LocalText(index.endUtcMicros).c_str(),
                 static_cast<unsigned long long>(repaired.value().tornBytes));
    recording::NoteClosed(registry, folder);
  }
}

int RecordHeadless(const RecordArguments& args) {
  RepairInterruptedRecordings();
  Limits limits;
  if (auto refused = RefusedBeforeTheCard(args, limits)) return *refused;
  static std::atomic<bool> interrupted{false};
  SetFlagOnTermination(&interrupted);
  DllDef dll;
  SingleInstance instance(acquisition::DefaultDataDirectory());
  if (auto refused = RecordingRefusedTheCard(instance, dll.library().path())) return *refused;
  const auto identity = card::RequestIdentity(dll);
  if (!identity) {
    return NotStarted("无法识别板卡，记录未开始 the card cannot be identified",
                      identity.failure().subject, identity.failure().reason);
  }
  const auto started = acquisition::StartAcquisition(dll);
  if (!started || !started.value().started) {
    return NotStarted(
        "无法启动采集，记录未开始 acquisition cannot start", dll.library().path(),
        started ? acquisition::RefusalText(started.value().errorNumber) : started.failure().reason);
  }
  recording::RecorderSettings settings;
  settings.folder = args.folder;
  settings.description = recording::CardDescription(dll, identity.value(), "kzb7310 " KZB_VERSION);
  settings.description.station = limits.station;
  settings.limitSeconds = limits.seconds;
  settings.limitBytes = limits.bytes;
  const auto keep =
      args.onlyTriggered ? recording::TriggeredKeep::Spans : recording::TriggeredKeep::All;
  if (limits.trigger) {
    settings.description.trigger = args.trigger;
    settings.description.kept = recording::TriggeredKeepName(keep);
  }
  auto recorder = recording::Recorder::Start(std::move(settings));
  if (!recorder) {
    (void)acquisition::StopAcquisition(dll);
    return NotStarted("记录文件夹无法使用，记录未开始 the folder cannot take a recording",
                      recorder.failure().subject, base::ReasonInChinese(recorder.failure()));
  }
  (void)recording::NoteOpen(production::RecordingRegistry(), args.folder);
  std::printf("记录 recording 64 channels to %s%s\n", args.folder.c_str(),
              limits.seconds > 0 ? "" : " (Ctrl+C ends it)");
  std::unique_ptr<recording::TriggeredRecording> triggered;
  if (limits.trigger) {
    triggered =
        std::make_unique<recording::TriggeredRecording>(*recorder.value(), *limits.trigger, keep);
    std::printf("触发 trigger %s: %s\n", args.trigger.c_str(),
                args.onlyTriggered ? "只记录触发前后 only the spans around triggers"
                                   : "全部记录，标出每次触发 everything, each trigger marked");
  }
  std::fflush(stdout);
  const auto polled = recording::RecordCard(
      dll, *recorder.value(), interrupted,
      {.steadySeconds = SteadySeconds,
       .sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
       .everySecond = Progress()},
      triggered.get());
  if (!polled) {
    std::fprintf(stderr,
                 "kzb7310: 板卡无法使用，记录已停止 the card failed, recording ended: %s: %s\n",
                 polled.failure().subject.c_str(), polled.failure().reason.c_str());
  }
  (void)acquisition::StopAcquisition(dll);
  const recording::RecorderStatus status = CloseSaying(*recorder.value());
  recording::NoteClosed(production::RecordingRegistry(), args.folder);
  SaySummary(args.folder, status);
  if (triggered) SayTriggers(triggered->fired(), status);
  return StatusOf(status, limits, interrupted, !polled);
}
