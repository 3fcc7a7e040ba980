// HDF5 through the C library Debian ships (libhdf5-dev, its serial build).
#include "Hdf5Export.h"

#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "Waveform.h"

namespace recording {
namespace {

// An HDF5 identifier closed when it goes.
class Id {
 public:
  Id(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  Id(const Id&) = delete;
  Id& operator=(const Id&) = delete;
  ~Id() {
    if (id_ >= 0) close_(id_);
  }
  operator hid_t() const { return id_; }
  bool ok() const { return id_ >= 0; }
  herr_t Close() {
    const herr_t done = id_ >= 0 ? close_(id_) : -1;
    id_ = -1;
    return done;
  }

 private:
  hid_t id_;
  herr_t (*close_)(hid_t);
};

// Fixed-length UTF-8 text, as MATLAB and h5py read it alike.
hid_t TextType(size_t size) {
  const hid_t t = H5Tcopy(H5T_C_S1);
  H5Tset_size(t, std::max<size_t>(size, 1));
  H5Tset_cset(t, H5T_CSET_UTF8);
  H5Tset_strpad(t, H5T_STR_NULLTERM);
  return t;
}

bool Attribute(hid_t on, const char* name, hid_t type, const void* value, hsize_t count = 0) {
  Id space(count ? H5Screate_simple(1, &count, nullptr) : H5Screate(H5S_SCALAR), H5Sclose);
  Id attribute(H5Acreate2(on, name, type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  return attribute.ok() && H5Awrite(attribute, type, value) >= 0;
}

bool TextAttribute(hid_t on, const char* name, const std::string& text) {
  Id type(TextType(text.size() + 1), H5Tclose);
  std::vector<char> bytes(text.begin(), text.end());
  bytes.push_back('\0');
  return Attribute(on, name, type, bytes.data());
}

bool TextsAttribute(hid_t on, const char* name, const std::vector<std::string>& texts) {
  size_t size = 1;
  for (const std::string& t : texts) size = std::max(size, t.size() + 1);
  std::vector<char> bytes(texts.size() * size, '\0');
  for (size_t i = 0; i < texts.size(); ++i)
    std::memcpy(&bytes[i * size], texts[i].data(), texts[i].size());
  Id type(TextType(size), H5Tclose);
  return Attribute(on, name, type, bytes.data(), texts.size());
}

struct GapRow {
  uint64_t first_sample, samples;
  int64_t utc_us;
  uint32_t flags;
};

bool WriteGaps(hid_t file, const std::vector<ExportGap>& gaps) {
  Id type(H5Tcreate(H5T_COMPOUND, sizeof(GapRow)), H5Tclose);
  H5Tinsert(type, "first_sample", HOFFSET(GapRow, first_sample), H5T_NATIVE_UINT64);
  H5Tinsert(type, "samples", HOFFSET(GapRow, samples), H5T_NATIVE_UINT64);
  H5Tinsert(type, "utc_us", HOFFSET(GapRow, utc_us), H5T_NATIVE_INT64);
  H5Tinsert(type, "flags", HOFFSET(GapRow, flags), H5T_NATIVE_UINT32);
  std::vector<GapRow> rows;
  for (const ExportGap& g : gaps) rows.push_back({g.firstFrame, g.frames, g.utcMicros, g.flags});
  const hsize_t count = rows.size();
  Id space(H5Screate_simple(1, &count, nullptr), H5Sclose);
  Id set(H5Dcreate2(file, "gaps", type, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT), H5Dclose);
  return set.ok() &&
         (rows.empty() || H5Dwrite(set, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, rows.data()) >= 0);
}

// The attributes that say what /data holds.
bool Describe(hid_t set, RecordingView& view, const ExportSpan& span, bool volts,
              int64_t firstMicros) {
  const Description& d = view.index().description;
  std::vector<std::string> names;
  std::vector<int32_t> numbers;
  for (int c : span.channels) {
    names.push_back(acquisition::TraceName(c));
    numbers.push_back(c + 1);
  }
  const double rate = 1e6 / static_cast<double>(view.sampleMicros());
  const int32_t zero = d.zeroCode;
  const double perCode = d.voltsPerCode;
  return TextsAttribute(set, "channel_names", names) &&
         Attribute(set, "channel_numbers", H5T_NATIVE_INT32, numbers.data(), numbers.size()) &&
         TextAttribute(set, "units", "V") &&
         TextAttribute(set, "values", volts ? "volts" : "codes") &&
         Attribute(set, "sample_rate_hz", H5T_NATIVE_DOUBLE, &rate) &&
         Attribute(set, "zero_code", H5T_NATIVE_INT32, &zero) &&
         Attribute(set, "volts_per_code", H5T_NATIVE_DOUBLE, &perCode) &&
         TextAttribute(set, "start_utc", UtcText(firstMicros)) &&
         Attribute(set, "start_utc_us", H5T_NATIVE_INT64, &firstMicros) &&
         TextAttribute(set, "card", d.card) && TextAttribute(set, "recording_id", d.id);
}

base::Failure Hdf5Failure(const std::string& path, const char* what, int error) {
  return base::Failure{base::Failure::Kind::FileNotWritten, path,
                       std::string("HDF5: ") + what +
                           (error ? std::string(": ") + std::strerror(error) : std::string()),
                       base::CauseOfErrno(error)};
}

// The data set of `rows` rows of `channels` columns in chunks of `chunkRows`, codes as
// uint16 or volts as float32, what no chunk covers read as the zero code or NaN.
hid_t CreateDataSet(hid_t file, hsize_t rows, hsize_t channels, hsize_t chunkRows, bool volts,
                    uint16_t zeroCode) {
  const hsize_t dims[2] = {rows, channels}, most[2] = {H5S_UNLIMITED, channels};
  const hsize_t chunk[2] = {chunkRows, channels};
  Id space(H5Screate_simple(2, dims, most), H5Sclose);
  Id create(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
  H5Pset_chunk(create, 2, chunk);
  const hid_t fileType = volts ? H5T_IEEE_F32LE : H5T_STD_U16LE;
  const hid_t memoryType = volts ? H5T_NATIVE_FLOAT : H5T_NATIVE_UINT16;
  const float nan = std::nanf("");
  H5Pset_fill_value(create, memoryType, volts ? static_cast<const void*>(&nan) : &zeroCode);
  return H5Dcreate2(file, "data", fileType, space, H5P_DEFAULT, create, H5P_DEFAULT);
}

// The data set's chunks, each filled here and handed to the file whole, past the library's
// cache; the last one is padded with what the one before held (beyond the data's end, never
// read).
class ChunkWriter {
 public:
  ChunkWriter(hid_t set, RecordingView& view, const ExportSpan& span, bool volts, hsize_t chunkRows)
      : set_(set),
        view_(view),
        span_(span),
        volts_(volts),
        channels_(span.channels.size()),
        chunkRows_(chunkRows),
        chunkValues_(static_cast<size_t>(chunkRows * channels_)),
        zeroCode_(static_cast<uint16_t>(view.index().description.zeroCode)) {
    if (volts_)
      values_.assign(chunkValues_, nan_);
    else
      codes_.assign(chunkValues_, zeroCode_);
    // All 64 channels in their order, as codes: the block's rows are the data's rows.
    asRecorded_ = !volts_ && channels_ == kChannels;
    for (hsize_t c = 0; c < channels_ && asRecorded_; ++c) asRecorded_ = span.channels[c] == int(c);
  }

  // `count` frames of all 64 channels, or `count` rows of a gap when `frame` is null. False
  // once a chunk could not be written.
  bool Add(const uint16_t* frame, uint64_t count) {
    while (count > 0) {
      const uint64_t n = std::min<uint64_t>(count, chunkRows_ - held_);
      if (!frame) {
        const size_t from = held_ * channels_, to = (held_ + n) * channels_;
        if (volts_)
          std::fill(values_.begin() + from, values_.begin() + to, nan_);
        else
          std::fill(codes_.begin() + from, codes_.begin() + to, zeroCode_);
        held_ += n;
      } else if (asRecorded_) {
        std::memcpy(&codes_[held_ * channels_], frame, n * kChannels * 2);
        frame += n * kChannels;
        held_ += n;
      } else {
        for (uint64_t i = 0; i < n; ++i, ++held_, frame += kChannels) Pick(frame);
      }
      count -= n;
      if (held_ == chunkRows_ && !Flush()) return false;
    }
    return true;
  }

  // Hands the rows held to the file as one chunk.
  bool Flush() {
    if (held_ == 0) return true;
    const hsize_t at[2] = {written_, 0};
    const void* bytes = volts_ ? static_cast<const void*>(values_.data()) : codes_.data();
    errno = 0;
    if (H5Dwrite_chunk(set_, H5P_DEFAULT, 0, at, chunkValues_ * (volts_ ? 4 : 2), bytes) < 0) {
      error_ = errno ? errno : EIO;
      return false;
    }
    written_ += held_;
    held_ = 0;
    return true;
  }

  int error() const { return error_; }

 private:
  // The span's channels of one frame, as the next row.
  void Pick(const uint16_t* frame) {
    const size_t row = held_ * channels_;
    for (hsize_t c = 0; c < channels_; ++c) {
      const int channel = span_.channels[c];
      if (volts_)
        values_[row + c] = view_.Volts(frame[channel]);
      else
        codes_[row + c] = frame[channel];
    }
  }

  hid_t set_;
  RecordingView& view_;
  const ExportSpan& span_;
  bool volts_;
  hsize_t channels_, chunkRows_;
  size_t chunkValues_;
  uint16_t zeroCode_;
  float nan_ = std::nanf("");
  std::vector<uint16_t> codes_;
  std::vector<float> values_;
  bool asRecorded_ = false;
  hsize_t held_ = 0, written_ = 0;
  int error_ = 0;
};

}  // namespace

bool Hdf5Available() {
  return true;
}

base::Result<ExportOutcome> ExportHdf5(RecordingView& view, const ExportSpan& span,
                                       const std::string& path, bool volts,
                                       const ExportControl& control) {
  RemoveLeftoverExports(base::DirectoryOfPath(path));
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // failures are said with their reason
  ExportOutcome outcome;
  outcome.rowsInSpan = outcome.rows = CountFrames(view, span);
  ExportFiles files;  // the library writes the temporary file by its name; it is named at the end
  if (auto started = files.Start(path, ""); !started) return started.failure();
  // The temporary file is held open (and locked) by the export itself, so the library's own
  // lock would refuse it.
  Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
  H5Pset_file_locking(access, false, true);
  errno = 0;
  Id file(H5Fcreate(files.TemporaryPath().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access), H5Fclose);
  if (!file.ok()) return Hdf5Failure(path, "file not made", errno);

  const hsize_t channels = span.channels.size();
  // Chunks of about half a megabyte, written whole one at a time.
  const hsize_t chunkRows =
      std::max<hsize_t>(256, (hsize_t{1} << 19) / (channels * (volts ? 4 : 2)));
  const auto zeroCode = static_cast<uint16_t>(view.index().description.zeroCode);
  Id set(CreateDataSet(file, outcome.rows, channels, chunkRows, volts, zeroCode), H5Dclose);
  if (!set.ok()) return Hdf5Failure(path, "data set not made", errno);

  ChunkWriter chunks(set, view, span, volts, chunkRows);
  int64_t firstMicros = 0;
  const bool whole =
      StreamFrames(view, span, control, outcome.rows, outcome.gaps, firstMicros,
                   [&](const uint16_t* frame, uint64_t count) { return chunks.Add(frame, count); });
  const int error = chunks.error();
  if (error) return Hdf5Failure(path, "data not written", error);
  if (!whole) {
    outcome.cancelled = true;
    return outcome;
  }
  if (!chunks.Flush()) return Hdf5Failure(path, "data not written", chunks.error());
  errno = 0;
  if (!Describe(set, view, span, volts, firstMicros) || !WriteGaps(file, outcome.gaps))
    return Hdf5Failure(path, "attributes not written", errno);
  // A recording's events and notes go here, as /events and /notes tables beside /gaps
  // (each with its utc_us and the frame it falls on), once the format keeps them.
  set.Close();
  errno = 0;
  if (H5Fflush(file, H5F_SCOPE_GLOBAL) < 0 || file.Close() < 0)
    return Hdf5Failure(path, "file not closed", errno ? errno : EIO);
  return Committed(files, std::move(outcome), view, span);
}

}  // namespace recording
