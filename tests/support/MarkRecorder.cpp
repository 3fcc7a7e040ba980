// A recording with events and notes in it, for killing from outside: blocks at ten times
// the card's pace, an event every third block and a note every fifth (every fourth note
// longer than one record holds), each said on standard output once handed over, with the
// system clock's seconds, until the process is killed. A note's text follows from its
// number, so a reader can check it byte for byte.
// Usage: mark_recorder FOLDER
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Recorder.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The text of note `n`: Chinese, an emoji and a control character, and for every fourth
// 12,000 emoji (48,000 bytes: two records).
std::string NoteText(int n) {
  std::string text = "备注 " + std::to_string(n) + " \x01 😀";
  if (n % 4 == 3) {
    for (int i = 0; i < 12000; ++i) text += "😀";
  }
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mark_recorder FOLDER\n");
    return 2;
  }
  recording::RecorderSettings settings;
  settings.folder = argv[1];
  settings.description.card = "mark recorder";
  settings.description.aggregateRateHz = 50000;
  settings.description.blockSeconds = 0.384;
  settings.description.voltsPerCode = 10.0 / 65535;
  auto started = recording::Recorder::Start(settings);
  if (!started) {
    std::fprintf(stderr, "%s\n", started.failure().reason.c_str());
    return 1;
  }
  recording::Recorder& recorder = *started.value();
  std::vector<int16_t> cells(recording::kCodesPerRecord);
  const acquisition::BlockView view{.cells = cells.data(),
                                    .channels = recording::kChannels,
                                    .points = recording::kPoints,
                                    .aggregateRate = 50000};
  int events = 0, notes = 0;
  for (int block = 0;; ++block) {
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<int16_t>(block + i);
    if (!recorder.Add(view, 0)) return 1;
    if (block % 3 == 0 &&
        recorder.AddEvent({.channel = block % 64, .levelVolts = 1, .secondsAfterLastBlock = 0.1})) {
      std::printf("event %d %.3f\n", events++, Now());
    }
    if (block % 5 == 0) {
      if (!recorder.AddNote(NoteText(notes), 0)) return 1;
      std::printf("note %d %.3f\n", notes++, Now());
    }
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(38));
  }
}
