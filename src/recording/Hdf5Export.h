// A span of a recording as HDF5, which h5py, MATLAB and pandas (through h5py) open without
// this program. The file holds:
//   /data   (frames, channels), chunked: uint16 codes as recorded (volts = (code -
//           zero_code) * volts_per_code, both attributes), or float32 volts (NaN in a gap);
//           attributes channel_names, channel_numbers (1 to 64), units, sample_rate_hz,
//           start_utc and start_utc_us (the first frame's time), values ("codes"/"volts")
//   /gaps   a table of the frames without samples: first_sample, samples, utc_us, flags
//           (1 lost, 3 a stop, 8 or 9 damaged records), filled with the zero code (0 V)
//   /events, /notes  a recording's marks, once the format keeps them
// Written with the C library Debian ships; built where that library is (Linux), and said
// to be missing elsewhere.
#pragma once

#include <string>

#include "Failure.h"
#include "RecordingExport.h"

namespace recording {

// False where this build has no HDF5 (ExportHdf5 then refuses with the reason).
bool Hdf5Available();

base::Result<ExportOutcome> ExportHdf5(RecordingView& view, const ExportSpan& span,
                                       const std::string& path, bool volts,
                                       const ExportControl& control = {});

}  // namespace recording
