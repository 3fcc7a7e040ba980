// Reading a recording back when it has been harmed: damage is said with its segment, blocks
// and times and exported around as a gap; a note of an open recording names it from any
// folder; a missing description comes back without a made-up ending; half an export goes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "FolderFiles.h"
#include "OpenRecordings.h"
#include "RecordDisk.h"
#include "RecordFormat.h"
#include "Recorder.h"
#include "RecordingExport.h"
#include "RecordingReader.h"
#include "RecordingView.h"
#include "TempDirTest.h"

namespace {

using namespace recording;
namespace fs = std::filesystem;

constexpr int64_t kStart = 1'765'000'000'000'000, kBlock = 384'000;

// `blocks` blocks, block n's every cell n + 1, closed as the program closes it.
void Record(const std::string& folder, int blocks) {
  RecorderSettings settings;
  settings.folder = folder;
  settings.description.aggregateRateHz = 50000;
  settings.description.blockSeconds = 0.384;
  settings.description.voltsPerCode = 10.0 / 65535;
  int64_t utc = kStart;
  settings.utcMicrosNow = [&utc] { return utc; };
  auto recorder = Recorder::Start(settings);
  ASSERT_TRUE(recorder);
  for (int n = 0; n < blocks; ++n) {
    utc += kBlock;
    const std::vector<int16_t> cells(kCodesPerRecord, static_cast<int16_t>(n + 1));
    ASSERT_TRUE(recorder.value()->Add(
        {.cells = cells.data(), .channels = kChannels, .points = kPoints, .aggregateRate = 50000},
        0));
  }
  recorder.value()->Close();
}

void FlipByte(const fs::path& file, uint64_t at) {
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  f.seekg(static_cast<std::streamoff>(at));
  const char was = static_cast<char>(f.get());
  f.seekp(static_cast<std::streamoff>(at));
  f.put(static_cast<char>(~was));
}

class RecordingReaderTest : public TempDirTest {};

// A flipped byte anywhere in a record, or a segment cut short: the blocks it took are said
// (segment, count, from and to), are gaps of the view, and an export goes around them.
TEST_F(RecordingReaderTest, DamageIsSaidWhereItIsAndExportedAround) {
  struct Row {
    const char* what;
    uint64_t flipAt;           // a byte of the segment to flip, or 0
    uint64_t cutTo;            // the segment's bytes kept, or 0
    int firstDamaged;          // the block
    uint64_t damaged;          // blocks
    uint64_t atOpen;           // of them known before a record is read
    uint64_t frames;           // of a WAV of the whole: a damaged end is not in it, like a lost one
    bool noSummaries = false;  // the .minmax gone too
  };
  constexpr uint64_t kAll = 53 * kPoints;
  const Row rows[] = {
      {"payload", 11 * kRecordBytes + kHeaderBytes + 777, 0, 10, 1, 0, kAll},
      {"header (block number)", 11 * kRecordBytes + 9, 0, 10, 1, 0, kAll},
      {"magic", 21 * kRecordBytes, 0, 20, 1, 0, kAll},
      {"the last record", 53 * kRecordBytes + kHeaderBytes + 5, 0, 52, 1, 1, kAll - kPoints},
      {"cut to 29 of 53", 0, 30 * kRecordBytes, 29, 24, 24, 29 * kPoints},
      {"cut inside a record", 0, 30 * kRecordBytes + 100, 29, 24, 24, 29 * kPoints},
      {"cut, its summaries gone", 0, 30 * kRecordBytes, 29, 24, 24, 29 * kPoints, true},
      {"the first record, summaries gone", kRecordBytes + 3, 0, 0, 1, 1, 52 * kPoints, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string folder = (dir / row.what).string();
    Record(folder, 53);
    const fs::path segment = fs::path(folder) / "segment-0001.kzr";
    if (row.flipAt) FlipByte(segment, row.flipAt);
    if (row.cutTo) fs::resize_file(segment, row.cutTo);
    if (row.noSummaries) fs::remove(fs::path(folder) / "segment-0001.minmax");

    auto opened = RecordingView::Open(folder);
    ASSERT_TRUE(opened);
    RecordingView& view = opened.value();
    EXPECT_EQ(view.index().blocksDamaged, row.atOpen);
    EXPECT_EQ(view.endMicros() - view.startMicros(), 53 * kBlock);
    const std::string wav = (dir / "span.wav").string();
    auto sound = ExportWav(view, {view.startMicros(), view.endMicros(), {0}}, wav);
    ASSERT_TRUE(sound) << sound.failure().reason;
    EXPECT_EQ(sound.value().rows, row.frames);  // the damaged time kept, at 0 V
    ASSERT_EQ(sound.value().damaged.size(), 1u);
    const DamagedSpan& d = sound.value().damaged[0];
    EXPECT_EQ(std::make_tuple(d.segment, d.blocks, d.fromMicros - view.startMicros(),
                              d.toMicros - view.startMicros()),
              std::make_tuple(1, row.damaged, row.firstDamaged * kBlock,
                              (row.firstDamaged + static_cast<int64_t>(row.damaged)) * kBlock));
    EXPECT_EQ(view.index().blocksDamaged, row.damaged);
    EXPECT_EQ(view.index().blocksRecorded, 53 - row.damaged);
    std::ifstream in(wav, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 80u + row.frames * 2);
    if (row.firstDamaged > 0) {  // the block before it as recorded, then 0 V
      int16_t before, inside = 0;
      std::memcpy(&before, &bytes[80 + (row.firstDamaged - 1) * kPoints * 2], 2);
      if (static_cast<uint64_t>(row.firstDamaged) * kPoints < row.frames)
        std::memcpy(&inside, &bytes[80 + row.firstDamaged * kPoints * 2], 2);
      EXPECT_EQ(before, static_cast<int16_t>(row.firstDamaged - 32768));
      EXPECT_EQ(inside, 0);
    }
    auto csv =
        ExportCsv(view, {view.startMicros(), view.endMicros(), {0}}, (dir / "span.csv").string());
    ASSERT_TRUE(csv);
    EXPECT_EQ(std::make_pair(csv.value().rows, csv.value().rowsInSpan),
              std::make_pair((53 - row.damaged) * kPoints, (53 - row.damaged) * kPoints));
    std::vector<ViewSample> samples;
    EXPECT_TRUE(view.Samples(0, view.startMicros(), view.endMicros(), 53 * kPoints, samples));
    EXPECT_EQ(samples.size(), (53 - row.damaged) * kPoints);
    EXPECT_EQ(view.Gaps(view.startMicros(), view.endMicros()).size(), 1u);
    // The check of every record finds those the summaries could not tell; marking them
    // again changes nothing.
    const std::atomic<bool> stop{false};
    const auto found = CheckRecords(OpenRecording(folder).value(), stop);
    EXPECT_EQ(found.size(), row.damaged - row.atOpen);
    for (const RowPlace& place : found) view.MarkDamaged(place);
    EXPECT_EQ(view.index().blocksDamaged, row.damaged);
  }
  // A repair keeps a cut segment's lost blocks as damaged, and its rows.
  auto repaired = RepairRecording((dir / "cut inside a record").string());
  ASSERT_TRUE(repaired);
  EXPECT_EQ(repaired.value().tornBytes, 100u);
  EXPECT_EQ(OpenRecording((dir / "cut inside a record").string()).value().blocksDamaged, 24u);
}

// A recording noted from a relative folder is found, and forgotten, from any other folder.
TEST_F(RecordingReaderTest, ANoteNamesItsRecordingFromAnyFolder) {
  const fs::path was = fs::current_path();
  const std::string registry = (dir / "open").string();
  fs::create_directories(dir / "a" / "b");
  fs::current_path(dir / "a");
  Record("rec", 1);
  ASSERT_TRUE(NoteOpen(registry, "rec/"));
  fs::current_path(dir / "a" / "b");
  const std::vector<std::string> found = InterruptedRecordings(registry);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(fs::path(found[0]), fs::canonical(dir / "a" / "rec"));
  EXPECT_TRUE(HoldsRecording(found[0]));
  NoteClosed(registry, "../rec");
  EXPECT_TRUE(InterruptedRecordings(registry).empty());
  fs::current_path(was);
}

// recording.json deleted: the recording is neither complete nor interrupted, and the viewer
// writes it again from the segments; a repair still says interrupted.
TEST_F(RecordingReaderTest, AMissingDescriptionComesBackWithoutAMadeUpEnd) {
  const std::string folder = (dir / "rec").string();
  Record(folder, 3);
  const fs::path json = fs::path(folder) / "recording.json";
  fs::remove(json);
  auto index = OpenRecording(folder);
  ASSERT_TRUE(index);
  EXPECT_TRUE(index.value().descriptionMissing && !index.value().complete);
  ASSERT_TRUE(RecordingView::Open(folder));
  ASSERT_TRUE(fs::exists(json));
  index = OpenRecording(folder);
  EXPECT_TRUE(index.value().described && index.value().endUnknown && !index.value().complete);
  EXPECT_EQ(index.value().blocksRecorded, 3u);
  ASSERT_TRUE(RepairRecording(folder));
  EXPECT_FALSE(OpenRecording(folder).value().endUnknown);
}

// A folder that cannot be made says why as a kind, whatever language the system speaks.
TEST_F(RecordingReaderTest, AFolderRefusedSaysItsCause) {
  std::ofstream(dir / "file") << "x";
  const std::pair<fs::path, base::Failure::Cause> rows[] = {
      {dir / "file", base::Failure::Cause::NotAFolder},
      {dir / "file" / "sub", base::Failure::Cause::NotAFolder},  // on the way
  };
  for (const auto& [folder, cause] : rows) {
    auto made = MakeRecordingFolder(folder.string());
    ASSERT_FALSE(made) << folder;
    EXPECT_EQ(made.failure().cause, cause) << folder << ": " << made.failure().reason;
  }
}

// Half an export a killed program left goes at the next export; anything else stays.
TEST_F(RecordingReaderTest, HalfAnExportIsRemoved) {
  struct Row {
    const char* name;
    bool held;
    bool removed;
  };
  const Row rows[] = {
      {".rec-20261210-142217.wav.Ab3xQz.part", false, true},
      {".rec-20261210-142217.csv.Zz9aaa.part", false, true},
      {".rec.wav.Qq1234.part", true, false},         // an export on its way
      {".KZB7315 0.txt.Ab3xQz.part", false, false},  // a data file's: recovered elsewhere
      {"rec.wav", false, false},
  };
  std::vector<intptr_t> held;
  for (const Row& row : rows) {
    const std::string path = (dir / row.name).string();
    if (row.held) {
      held.push_back(disk::CreateNew(path).value());
    } else {
      std::ofstream(path) << "RIFF";
    }
  }
  Record((dir / "rec").string(), 1);
  auto view = RecordingView::Open((dir / "rec").string());
  ASSERT_TRUE(view);
  ASSERT_TRUE(ExportCsv(view.value(), {view.value().startMicros(), view.value().endMicros(), {0}},
                        (dir / "new.csv").string()));
  for (const Row& row : rows) EXPECT_EQ(fs::exists(dir / row.name), !row.removed) << row.name;
  for (intptr_t h : held) disk::Close(h);
}

}  // namespace
