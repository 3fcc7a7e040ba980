#include "ExportCommand.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "CauseText.h"
#include "ExitStatus.h"
#include "ExportArguments.h"
#include "FolderFiles.h"
#include "Hdf5Export.h"
#include "RecordingExport.h"
#include "RecordingView.h"
#include "ShownInput.h"
#include "TerminationSignals.h"

namespace {

constexpr int kRefused = 2;

int Refused(const std::string& why) {
  std::fprintf(stderr, "kzb7310: 导出未开始 export not started: %s\n", why.c_str());
  return kRefused;
}

// The options held against each other and the channels read, before the recording is
// opened: gives the refusal's status, else fills `channels`.
std::optional<int> RefusedOptions(const ExportArguments& args,
                                  const std::optional<recording::ExportFormat>& format,
                                  std::vector<int>& channels) {
  if (!format) {
    return Refused("--format takes hdf5, csv, wav or npy, not '" + base::ShownInput(args.format) +
                   "'");
  }
  if (args.out.empty()) return Refused("--out FILE is needed");
  if (args.volts && *format != recording::ExportFormat::Hdf5 &&
      *format != recording::ExportFormat::Npy) {
    return Refused("--volts goes with hdf5 and npy (csv is in volts, wav in codes)");
  }
  if (*format == recording::ExportFormat::Hdf5 && !recording::Hdf5Available())
    return Refused("此版本不含 HDF5 HDF5 is not in this build: choose npy, csv or wav");
  for (int c = 0; c < recording::kChannels; ++c) channels.push_back(c);
  if (!args.channels.empty()) {
    const auto listed = recording::ParseChannelList(args.channels);
    if (!listed) {
      return Refused(
          "--channels takes channels 1 to 64 and ranges of them, each once, such as "
          "1-16,33,40, not '" +
          base::ShownInput(args.channels) + "'");
    }
    channels = *listed;
  }
  return std::nullopt;
}

// --from and --to read against the recording's start into `span`, which must hold some of it.
std::optional<int> RefusedSpan(const ExportArguments& args, const recording::RecordingView& view,
                               recording::ExportSpan& span) {
  for (auto [text, name, into] : {std::tuple{&args.from, "--from", &span.fromMicros},
                                  std::tuple{&args.to, "--to", &span.toMicros}}) {
    if (text->empty()) continue;
    const auto at = recording::ParseExportTime(*text, view.startMicros());
    if (!at) {
      return Refused(std::string(name) +
                     " takes seconds from the start (90, 1h30m, 45s) or a moment such as "
                     "2026-12-10T14:22:17Z or 2026-12-10 22:22:17 +0800, not '" +
                     base::ShownInput(*text) + "'");
    }
    *into = *at;
  }
  if (span.toMicros <= view.startMicros() || span.fromMicros >= view.endMicros())
    return Refused("the span holds nothing of the recording (" +
                   recording::UtcText(view.startMicros()) + " to " +
                   recording::UtcText(view.endMicros()) + ")");
  if (span.toMicros <= span.fromMicros) return Refused("--to must come after --from");
  return std::nullopt;
}

// What became of the export: the files written and what they hold, or why nothing is left.
int SayExported(const base::Result<recording::ExportOutcome>& done, recording::ExportFormat format,
                size_t channels) {
  if (!done) {
    std::fprintf(stderr, "kzb7310: 导出失败，未留下文件 export failed, nothing left: %s: %s\n",
                 done.failure().subject.c_str(), base::ReasonInChinese(done.failure()).c_str());
    return kExitNotWritten;
  }
  if (done.value().cancelled) {
    std::fputs("kzb7310: 导出已中断，未留下文件 export interrupted, nothing left\n", stderr);
    return kExitInterrupted;
  }
  uint64_t damaged = 0;
  for (const recording::DamagedSpan& d : done.value().damaged) damaged += d.blocks;
  if (damaged > 0) {
    std::fprintf(
        stderr, "kzb7310: %llu 块已损坏，按间断导出 damaged blocks exported as gaps: %llu\n",
        static_cast<unsigned long long>(damaged), static_cast<unsigned long long>(damaged));
  }
  for (const std::string& file : done.value().files) std::printf("%s\n", file.c_str());
  std::printf("已导出 exported %llu %s, %zu channels, %zu gaps\n",
              static_cast<unsigned long long>(done.value().rows),
              format == recording::ExportFormat::Csv ? "rows" : "samples", channels,
              done.value().gaps.size());
  return 0;
}

}  // namespace

int ExportHeadless(const ExportArguments& args) {
  const auto format = recording::ExportFormatNamed(args.format);
  std::vector<int> channels;
  if (auto refused = RefusedOptions(args, format, channels)) return *refused;
  if (!recording::HoldsRecording(args.folder))
    return Refused("no recording in " + args.folder + " (no segment-0001.kzr)");
  auto opened = recording::RecordingView::Open(args.folder);
  if (!opened) {
    return Refused(opened.failure().subject + ": " + base::ReasonInChinese(opened.failure()));
  }
  recording::RecordingView& view = opened.value();
  recording::ExportRequest request{.format = *format,
                                   .span = {view.startMicros(), view.endMicros(), channels},
                                   .path = args.out,
                                   .volts = args.volts};
  if (auto refused = RefusedSpan(args, view, request.span)) return *refused;

  static std::atomic<bool> interrupted{false};
  SetFlagOnTermination(&interrupted);
  // How far it is, every 10 seconds of a long export.
  auto said = std::chrono::steady_clock::now();
  recording::ExportControl control{.cancel = &interrupted, .progress = [&](double done) {
                                     const auto now = std::chrono::steady_clock::now();
                                     if (now - said < std::chrono::seconds(10)) return;
                                     said = now;
                                     std::fprintf(stderr, "kzb7310: 导出 exporting %.0f%%\n",
                                                  done * 100);
                                   }};
  return SayExported(recording::Export(view, request, control), *format, channels.size());
}
