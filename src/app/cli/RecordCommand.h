// The headless recording: `kzb7310 --record FOLDER [--duration 8h] [--size 2G]
// [--profile P] [--trigger SETUP [--pre 10s] [--post 30s] [--only-triggered]]`, every block
// of all 64 channels (or only the spans around triggers) to FOLDER until the limit, a signal,
// or the disk ends it, each trigger an event; and the repair of recordings a crash left open.
#pragma once

#include <string>

struct RecordArguments {
  std::string folder, duration, size, profile;
  std::string trigger, pre, post;  // --trigger SETUP [--pre 10s] [--post 30s]
  bool onlyTriggered = false;      // only the spans around triggers
};

// The exit status: 0 recorded to its limit (or, without one, until asked to stop), 1 ended
// early by the disk or the card (what it holds is whole), 2 not started, 3 interrupted
// before its limit, 4 a file of it could not be written.
int RecordHeadless(const RecordArguments& args);

// Recordings a crash or a power cut left open, each named on standard error and repaired;
// one another program still writes is left alone.
void RepairInterruptedRecordings();
