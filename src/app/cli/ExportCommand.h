// The export without a window: `kzb7310 --export FOLDER --format hdf5|csv|wav|npy [--from T]
// [--to T] [--channels 1-64] [--volts] --out FILE`, a span of a recording for analysis
// tools (the times and channel lists as ExportArguments reads them).
#pragma once

#include <string>

struct ExportArguments {
  std::string folder, format, from, to, channels, out;
  bool volts = false;
};

// The exit status: 0 written (damaged blocks, exported as gaps, said on standard error), 2
// refused (what was given, or no recording), 3 interrupted (nothing left), 4 not written
// (the disk, the folder; nothing left).
int ExportHeadless(const ExportArguments& args);
