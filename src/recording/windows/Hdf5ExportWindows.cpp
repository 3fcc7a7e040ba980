// The Windows build has no HDF5 library: CSV, WAV and npy stand in.
#include "Hdf5Export.h"

namespace recording {

bool Hdf5Available() {
  return false;
}

base::Result<ExportOutcome> ExportHdf5(RecordingView&, const ExportSpan&, const std::string& path,
                                       bool, const ExportControl&) {
  return base::Failure{base::Failure::Kind::FileNotWritten, path,
                       "此版本不含 HDF5 HDF5 is not in this build: export as npy, CSV or WAV"};
}

}  // namespace recording
