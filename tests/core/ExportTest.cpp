// Exports for analysis tools: each even-clock format holds the span's frames with a lost and
// a damaged block as listed gaps; a CSV goes on in numbered files at any row limit; a cancel
// or a folder that vanishes leaves no file; times and channel lists as an operator types them.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "ExportArguments.h"
#include "Hdf5Export.h"
#include "RecordFormat.h"
#include "Recorder.h"
#include "RecordingExport.h"
#include "RecordingView.h"
#include "TempDirTest.h"

namespace {

using namespace recording;
namespace fs = std::filesystem;

constexpr int64_t kStart = 1'765'000'000'000'000;

// Blocks 0 to 4, two lost, blocks 7 to 9; every code of block n is n + 1; block 2's record
// damaged on the disk.
void Record(const std::string& folder) {
  RecorderSettings settings;
  settings.folder = folder;
  settings.description.aggregateRateHz = 50000;
  settings.description.blockSeconds = 0.384;
  settings.description.voltsPerCode = 10.0 / 65535;
  int64_t utc = kStart;
  settings.utcMicrosNow = [&utc] { return utc; };
  auto recorder = Recorder::Start(settings);
  ASSERT_TRUE(recorder);
  for (int n : {0, 1, 2, 3, 4, 7, 8, 9}) {
    utc += 384'000;
    const std::vector<int16_t> cells(kCodesPerRecord, static_cast<int16_t>(n + 1));
    ASSERT_TRUE(recorder.value()->Add(
        {.cells = cells.data(), .channels = kChannels, .points = kPoints, .aggregateRate = 50000},
        n == 7 ? 2 : 0));
  }
  recorder.value()->Close();
  std::fstream f(fs::path(folder) / "segment-0001.kzr",
                 std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(3 * kRecordBytes + kHeaderBytes + 100));
  f.put('\x55');
}

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExportTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    Record((dir / "rec").string());
    fs::create_directories(dir / "out");
  }
  RecordingView Open() { return RecordingView::Open((dir / "rec").string()).value(); }
};

// Every frame of the span on the card's clock: a lost or a damaged block is 0 V (NaN in
// volts) and a row of the gaps; the sidecar and the header say the shape.
TEST_F(ExportTest, EvenClockFormatsKeepGapsInPlace) {
  struct Row {
    ExportFormat format;
    bool volts;
    size_t header;  // bytes before the frames
    size_t bytesPerValue;
  };
  const Row rows[] = {{ExportFormat::Npy, false, 128, 2},
                      {ExportFormat::Npy, true, 128, 4},
                      {ExportFormat::Wav, false, 80, 2},
                      {ExportFormat::Hdf5, false, 0, 0}};  // its bytes: tests/program/export
  for (const Row& row : rows) {
    if (row.format == ExportFormat::Hdf5 && !Hdf5Available()) continue;
    SCOPED_TRACE(std::string(ExportFormatName(row.format)) + (row.volts ? " volts" : ""));
    RecordingView view = Open();
    const fs::path out = dir / "out" /
                         (row.volts                         ? "v.npy"
                          : row.format == ExportFormat::Wav ? "s.wav"
                                                            : "s.npy");
    auto done = Export(
        view,
        {row.format, {view.startMicros(), view.endMicros(), {0, 63}}, out.string(), row.volts});
    ASSERT_TRUE(done) << done.failure().reason;
    EXPECT_EQ(done.value().rows, 10u * kPoints);
    ASSERT_EQ(done.value().gaps.size(), 2u);
    EXPECT_EQ(std::make_tuple(done.value().gaps[0].firstFrame, done.value().gaps[0].frames,
                              done.value().gaps[0].flags & kDamaged),
              std::make_tuple(uint64_t{600}, uint64_t{300}, uint32_t{kDamaged}));
    EXPECT_EQ(std::make_tuple(done.value().gaps[1].firstFrame, done.value().gaps[1].frames,
                              done.value().gaps[1].utcMicros - view.startMicros()),
              std::make_tuple(uint64_t{1500}, uint64_t{600}, int64_t{5 * 384'000}));
    if (row.format == ExportFormat::Hdf5) continue;
    const std::string bytes = Bytes(out);
    ASSERT_EQ(bytes.size(), row.header + 10 * kPoints * 2 * row.bytesPerValue);
    const auto value = [&](size_t frame, int column) {
      const char* at = &bytes[row.header + (frame * 2 + column) * row.bytesPerValue];
      if (row.volts) {
        float v;
        std::memcpy(&v, at, 4);
        return static_cast<double>(v);
      }
      int16_t v;
      std::memcpy(&v, at, 2);
      return static_cast<double>(v);
    };
    if (row.volts) {
      EXPECT_NEAR(value(0, 1), (1 - 32768) * 10.0 / 65535, 1e-4);
      EXPECT_TRUE(std::isnan(value(700, 0)));
      EXPECT_TRUE(std::isnan(value(1600, 1)));
    } else {
      EXPECT_EQ(value(0, 1), 1 - 32768);
      EXPECT_EQ(value(700, 0), 0);
      EXPECT_EQ(value(1600, 1), 0);
      EXPECT_EQ(value(2100, 0), 8 - 32768);
    }
    if (row.format == ExportFormat::Npy) {
      EXPECT_EQ(bytes.substr(0, 6), "\x93NUMPY");
      EXPECT_NE(bytes.find("'shape': (3000, 2)"), std::string::npos);
      const std::string sidecar = Bytes(out.string() + ".json");
      EXPECT_NE(sidecar.find("\"first_sample\": 1500, \"samples\": 600"), std::string::npos)
          << sidecar;
      EXPECT_NE(sidecar.find("\"sample_rate_hz\": 781.25"), std::string::npos) << sidecar;
    }
  }
}

// A CSV past its row limit goes on in numbered files, each with the heading; the rows read
// in turn are those of one file without a limit; an empty line stands where samples are
// missing.
TEST_F(ExportTest, CsvGoesOnInNumberedFiles) {
  RecordingView view = Open();
  const ExportSpan span{view.startMicros(), view.endMicros(), {5}};
  auto whole = ExportCsv(view, span, (dir / "out" / "whole.csv").string());
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole.value().files.size(), 1u);
  const std::string all = Bytes(dir / "out" / "whole.csv");
  const size_t heading = all.find("\r\n") + 2;
  // Two marks: the damaged block 2, the lost 5 and 6.
  EXPECT_EQ(all.find("\r\n\r\n", all.find("\r\n\r\n") + 2), all.rfind("\r\n\r\n"));
  EXPECT_NE(all.find("\r\n\r\n"), all.rfind("\r\n\r\n"));
  struct Row {
    uint64_t mostRows;
    size_t files;
  };
  for (const Row& row : {Row{101, 22}, Row{301, 8}, Row{2102, 2}, Row{2103, 1}}) {
    SCOPED_TRACE(row.mostRows);
    const fs::path path = dir / "out" / ("part" + std::to_string(row.mostRows) + ".csv");
    auto parts = ExportCsv(view, span, path.string(), row.mostRows);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts.value().rows, 2100u);  // 2,102 lines: block 2 damaged, 5 and 6 lost
    ASSERT_EQ(parts.value().files.size(), row.files);
    std::string joined;
    for (size_t n = 1; n <= row.files; ++n) {
      EXPECT_EQ(parts.value().files[n - 1], CsvPartPath(path.string(), n));
      const std::string part = Bytes(parts.value().files[n - 1]);
      ASSERT_EQ(part.substr(0, heading), all.substr(0, heading));
      joined += part.substr(heading);
    }
    EXPECT_EQ(joined, all.substr(heading));
  }
  EXPECT_EQ(CsvPartPath("/d/a.b/span", 3), "/d/a.b/span-3.csv");
}

// A cancel at any block, and the folder taken away under the export: nothing is left (for a
// CSV in parts, no part of it), and the outcome says which.
TEST_F(ExportTest, CancelOrVanishedFolderLeavesNothing) {
  std::vector<ExportFormat> formats = {ExportFormat::Csv, ExportFormat::Wav, ExportFormat::Npy};
  if (Hdf5Available()) formats.push_back(ExportFormat::Hdf5);
  for (ExportFormat format : formats) {
    for (const bool vanish : {false, true}) {
      SCOPED_TRACE(std::string(ExportFormatName(format)) + (vanish ? " vanished" : " cancelled"));
      RecordingView view = Open();
      const fs::path folder = dir / "gone";
      fs::create_directories(folder);
      std::atomic<bool> cancel{false};
      int blocks = 0;
      // Where a file being written keeps its folder (Windows), the folder cannot vanish: the
      // case is then a cancel.
      bool vanished = false;
      ExportControl control{.cancel = &cancel, .progress = [&](double) {
                              if (++blocks < 6) return;
                              std::error_code kept;
                              if (vanish) fs::remove_all(folder, kept);
                              vanished = vanish && !kept;
                              if (!vanished) cancel = true;
                            }};
      // A CSV of several parts, the first ones done when it stops.
      auto done = format == ExportFormat::Csv
                      ? ExportCsv(view, {view.startMicros(), view.endMicros(), {0}},
                                  (folder / "x.csv").string(), 200, control)
                      : Export(view,
                               {format,
                                {view.startMicros(), view.endMicros(), {0, 1}},
                                (folder / "x").string()},
                               control);
      if (vanished) {
        EXPECT_FALSE(done);
        EXPECT_FALSE(fs::exists(folder));
      } else {
        ASSERT_TRUE(done) << done.failure().reason;
        EXPECT_TRUE(done.value().cancelled);
        EXPECT_TRUE(done.value().files.empty());
        EXPECT_EQ(Files(folder), std::vector<std::string>{});
      }
      fs::remove_all(folder);
    }
  }
}

TEST(ExportArguments, TimesAndChannelsAsTyped) {
  constexpr int64_t start = 1'765'000'000'000'000;  // 2025-12-06T05:46:40Z
  struct TimeRow {
    const char* text;
    std::optional<int64_t> micros;  // from the start
  };
  const TimeRow times[] = {
      {"0", 0},
      {"0.000", 0},
      {"90", 90'000'000},
      {"12.5", 12'500'000},
      {"1h30m", 5'400'000'000},
      {"45s", 45'000'000},
      {"2025-12-06T05:46:41Z", 1'000'000},
      {"2025-12-06T05:46:41.250000Z", 1'250'000},
      {"2025-12-06 13:46:41 +0800", 1'000'000},
      {"2025-12-06T00:46:41-05:00", 1'000'000},
      {"2025-12-06T05:46:41", std::nullopt},  // no zone: not a sure moment
      {"2025-02-30T00:00:00Z", std::nullopt},
      {"2025-12-06T24:00:00Z", std::nullopt},
      {"-5", std::nullopt},
      {"1h30", std::nullopt},
      {"", std::nullopt},
      {"nan", std::nullopt},
  };
  for (const TimeRow& row : times) {
    const auto at = ParseExportTime(row.text, start);
    EXPECT_EQ(at ? std::optional<int64_t>(*at - start) : std::nullopt, row.micros) << row.text;
  }
  struct ChannelRow {
    const char* text;
    std::optional<std::vector<int>> channels;  // 0-based
  };
  const ChannelRow lists[] = {
      {"1", std::vector<int>{0}},
      {"1-3,33,64", std::vector<int>{0, 1, 2, 32, 63}},
      {"40,2", std::vector<int>{39, 1}},
      {"0", std::nullopt},
      {"65", std::nullopt},
      {"3-1", std::nullopt},
      {"1-3,2", std::nullopt},  // twice
      {"1,", std::nullopt},
      {"", std::nullopt},
      {" 1", std::nullopt},
      {"1-", std::nullopt},
  };
  for (const ChannelRow& row : lists)
    EXPECT_EQ(ParseChannelList(row.text), row.channels) << row.text;
  EXPECT_EQ(ParseChannelList("1-64")->size(), 64u);
}

}  // namespace
