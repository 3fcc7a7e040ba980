// Recording to disk and reading back: every block comes back byte for byte with its number
// and time, losses and pauses as gap records, a full or slow disk ends the recording whole,
// and a torn, damaged or foreign file is read as far as it can be, with the reason.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <thread>

#include "CardRecording.h"
#include "DiskGuard.h"
#include "DllDef.h"
#include "FolderFiles.h"
#include "NominalPace.h"
#include "OpenRecordings.h"
#include "RecordFormat.h"
#include "Recorder.h"
#include "RecordingExport.h"
#include "RecordingLimits.h"
#include "RecordingReader.h"
#include "RecordingView.h"
#include "SignalGenerator.h"
#include "SimCardControl.h"
#include "StartStop.h"
#include "TempDirTest.h"

namespace {

using namespace recording;

// Block `n`: every cell a function of its number, point and channel.
std::vector<int16_t> Cells(uint64_t n) {
  std::vector<int16_t> cells(kCodesPerRecord);
  for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<int16_t>(n * 7919 + i * 31);
  return cells;
}

acquisition::BlockView View(const std::vector<int16_t>& cells) {
  return {.cells = cells.data(), .channels = kChannels, .points = kPoints, .aggregateRate = 50000};
}

// A recorder on a clock of the test's own: each block arrives 0.384 s after the one before.
struct Bench {
  explicit Bench(std::string folder) { settings.folder = std::move(folder); }
  std::unique_ptr<Recorder> Start() {
    settings.description.card = "KZB7310 \"模拟\" 板卡";
    settings.description.aggregateRateHz = 50000;
    settings.description.blockSeconds = 0.384;
    settings.description.voltsPerCode = 10.0 / 65535;
    settings.utcMicrosNow = [this] { return utc.load(); };
    auto started = Recorder::Start(settings);
    EXPECT_TRUE(started) << (started ? "" : started.failure().reason);
    return started ? std::move(started.value()) : nullptr;
  }
  bool Deliver(Recorder& r, uint64_t n, int lostBefore = 0) {
    utc += 384000 * (1 + lostBefore);
    const auto cells = Cells(n);
    return r.Add(View(cells), lostBefore);
  }
  RecorderSettings settings;
  std::atomic<int64_t> utc{1'765'000'000'000'000};
};

std::vector<SummaryRow> AllRows(const RecordingIndex& index) {
  std::vector<SummaryRow> rows;
  for (const SegmentIndex& s : index.segments)
    rows.insert(rows.end(), s.rows.begin(), s.rows.end());
  return rows;
}

// Every block row's codes as recorded, against Cells of its number.
void ExpectBlocksAsDelivered(const RecordingIndex& index) {
  std::vector<uint8_t> payload;
  for (const SegmentIndex& s : index.segments) {
    for (size_t i = 0; i < s.rows.size(); ++i) {
      if (s.rows[i].header.flags != kBlock) continue;
      ASSERT_TRUE(ReadRecord(s, i, payload));
      const auto cells = Cells(s.rows[i].header.block);
      ASSERT_EQ(std::memcmp(payload.data(), cells.data(), kPayloadBytes), 0)
          << "block " << s.rows[i].header.block;
    }
  }
}

uint64_t FolderBytes(const std::string& folder) {
  uint64_t bytes = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) bytes += entry.file_size();
  return bytes;
}

void AppendBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::app) << bytes;
}

}  // namespace

// The folded CRC gives zlib's for every length and alignment around its 16- and 64-byte
// steps, whole or in two parts; the values are Python's zlib.crc32 of the same bytes.
TEST(RecordFormat, TheCrcIsZlibs) {
  struct Row {
    size_t length;
    unsigned seed;
    size_t offset;  // from a 16-byte boundary
    uint32_t zlib;
  };
  const Row rows[] = {
      {0, 1, 0, 0x00000000u},      {1, 3, 0, 0x4B0BBE37u},     {15, 5, 1, 0x1B6FA2C8u},
      {16, 7, 0, 0x9FDFF4F6u},     {63, 11, 3, 0xAD86BD20u},   {64, 13, 0, 0xF34A2E8Bu},
      {65, 17, 1, 0x122296FAu},    {127, 19, 0, 0x0A09F90Du},  {128, 23, 5, 0x50639A2Cu},
      {200, 29, 7, 0x65075F56u},   {1000, 31, 0, 0xCBE3B5DCu}, {38400, 37, 1, 0x193447EFu},
      {38428, 41, 0, 0xF2646737u},
  };
  for (const Row& r : rows) {
    alignas(16) static uint8_t buffer[38428 + 16];
    uint8_t* bytes = buffer + r.offset;
    for (size_t i = 0; i < r.length; ++i)
      bytes[i] = static_cast<uint8_t>(i * r.seed + (i >> 7) * 13 + r.seed);
    EXPECT_EQ(Crc32(bytes, r.length), r.zlib) << r.length;
    EXPECT_EQ(Crc32Table(bytes, r.length), r.zlib) << r.length;
    const size_t half = r.length / 2;
    EXPECT_EQ(Crc32(bytes + half, r.length - half, Crc32(bytes, half)), r.zlib) << r.length;
  }
}

// A block's summary row holds each channel's least and greatest code, the extremes 0 and
// 65535 among them, whichever instructions the processor takes.
TEST(RecordFormat, TheSummaryHoldsEachChannelsExtremes) {
  std::vector<uint16_t> codes(kCodesPerRecord);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint16_t>(i * 2654435761u >> 7);
  codes[5 * kChannels + 3] = 0;
  codes[299 * kChannels + 63] = 65535;
  const SummaryRow row = SummaryOf({}, reinterpret_cast<const uint8_t*>(codes.data()));
  for (int c = 0; c < kChannels; ++c) {
    uint16_t least = 65535, greatest = 0;
    for (int p = 0; p < kPoints; ++p) {
      least = std::min(least, codes[p * kChannels + c]);
      greatest = std::max(greatest, codes[p * kChannels + c]);
    }
    EXPECT_EQ(std::make_pair(row.least[c], row.greatest[c]), std::make_pair(least, greatest)) << c;
  }
  EXPECT_EQ(row.least[3], 0);
  EXPECT_EQ(row.greatest[63], 65535);
}

TEST(RecordFormat, RecordsAreCheckedAndNamed) {
  const char* nine = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(nine), 9), 0xCBF43926u);  // zlib's check
  std::vector<uint8_t> record(kRecordBytes, 0x5A);
  const RecordHeader header{.flags = kGap, .block = 1ull << 40, .utcMicros = -5, .count = 7};
  EncodeHeader(header, record.data() + kHeaderBytes, record.data());
  RecordHeader read;
  ASSERT_EQ(DecodeRecord(record.data(), read), RecordState::Whole);
  EXPECT_EQ(std::tie(read.flags, read.block, read.utcMicros, read.count),
            std::tie(header.flags, header.block, header.utcMicros, header.count));
  record[kRecordBytes - 1] ^= 1;  // one bit of the last code
  EXPECT_EQ(DecodeRecord(record.data(), read), RecordState::Damaged);
  record[0] = 'X';
  EXPECT_EQ(DecodeRecord(record.data(), read), RecordState::WrongMagic);

  const std::pair<const char*, std::optional<int>> names[] = {
      {"segment-0001.kzr", 1},     {"segment-12345.kzr", 12345},  {"segment-001.kzr", {}},
      {"segment-0000.kzr", {}},    {"segment-0001.kzr.part", {}}, {"segment-00a1.kzr", {}},
      {"segment-0001.minmax", {}}, {"recording.json", {}},
  };
  for (const auto& [name, number] : names) EXPECT_EQ(SegmentNumber(name), number) << name;
}

TEST(RecordFormat, TimesAndDescriptionsReadBack) {
  const std::pair<int64_t, const char*> times[] = {
      {0, "1970-01-01T00:00:00.000000Z"},
      {-1, "1969-12-31T23:59:59.999999Z"},
      {951782400000000, "2000-02-29T00:00:00.000000Z"},
      {1765376537123456, "2025-12-10T14:22:17.123456Z"},
  };
  for (const auto& [micros, text] : times) EXPECT_EQ(UtcText(micros), text);

  Description d;
  d.formatVersion = kFormatVersion;
  d.id = "abc";
  d.card = "卡 \"KZB\" \\ \t end";
  d.cardLibrary = "C:\\卡\\adcard.dll";
  d.station = "工位3";
  d.channels = kChannels;
  d.points = kPoints;
  d.aggregateRateHz = 50000;
  d.blockSeconds = 0.384;
  d.voltsPerCode = 10.0 / 65535;
  d.startUtcMicros = 1765376537123456;
  for (const std::string& json : {DescriptionRecordJson(d), RecordingJson(d)}) {
    auto back = ParseDescription(json);
    ASSERT_TRUE(back) << json;
    EXPECT_EQ(back.value().card, d.card);
    EXPECT_EQ(back.value().cardLibrary, d.cardLibrary);
    EXPECT_EQ(back.value().station, d.station);
    EXPECT_EQ(back.value().voltsPerCode, d.voltsPerCode);
    EXPECT_EQ(back.value().startUtcMicros, d.startUtcMicros);
  }
  const std::pair<const char*, const char*> refused[] = {
      {"", "not a JSON object"},
      {"{\"format\": \"something else\"}", "not a recording"},
      {"{\"format\": \"kzb7310 recording\", \"format_version\": 2}", "newer than this program"},
      {"{\"format\": \"kzb7310 recording\", \"format_version\": 1}", "shape and pace"},
  };
  for (const auto& [json, why] : refused) {
    auto r = ParseDescription(json);
    ASSERT_FALSE(r) << json;
    EXPECT_NE(r.failure().reason.find(why), std::string::npos) << r.failure().reason;
  }
}

TEST(RecordingLimits, TimesAndSizesAsTyped) {
  const std::pair<const char*, std::optional<double>> durations[] = {
      {"8h", 28800}, {"90m", 5400},  {"1h30m", 5400}, {"1h30m15s", 5415}, {"45s", 45},
      {"90", 90},    {"0.5h", 1800}, {"", {}},        {"0", {}},          {"1h30", {}},
      {"30m1h", {}}, {"-5m", {}},    {"8 h", {}},     {"5d", {}},         {"1e3", {}},
  };
  for (const auto& [text, seconds] : durations) EXPECT_EQ(ParseDuration(text), seconds) << text;
  const std::pair<const char*, std::optional<uint64_t>> sizes[] = {
      {"2G", 2ull << 30}, {"500M", 500ull << 20},
      {"1.5k", 1536},     {"2GB", 2ull << 30},
      {"4096", 4096},     {"", {}},
      {"0", {}},          {"2X", {}},
      {"G", {}},          {"2GiB", {}},
  };
  for (const auto& [text, bytes] : sizes) EXPECT_EQ(ParseSize(text), bytes) << text;
}

// 1 MB free less a reserve of 0.5 MB, written at 100 kB/s.
TEST(DiskGuard, StopsBeforeTheReserveAndWarnsFromTheRate) {
  DiskGuard guard(500'000, 3);
  EXPECT_FALSE(guard.SecondsLeft(0));  // no rate yet
  guard.Measured(1'000'000, 0, 0);
  guard.Measured(std::nullopt, 1, 100'000);  // the file system could not say: the last stands
  EXPECT_DOUBLE_EQ(*guard.SecondsLeft(100'000), 4.0);
  EXPECT_FALSE(guard.Low(100'000));
  EXPECT_TRUE(guard.Low(250'000));
  const std::tuple<uint64_t, uint64_t, bool> fits[] = {
      {100'000, 400'000, true}, {100'000, 400'001, false}, {0, 500'000, true},
      {0, 500'001, false},      {2'000'000, 0, false},
  };
  for (const auto& [bytes, written, fit] : fits) {
    EXPECT_EQ(guard.Fits(bytes, written), fit) << bytes << " after " << written;
  }
}

class RecorderTest : public TempDirTest {};

// Blocks, a loss and a pause, across three segments: every block back byte for byte, the
// gaps with their counts and times, the summary and the description whole.
TEST_F(RecorderTest, EveryBlockComesBackWithItsGaps) {
  Bench bench((dir / "rec").string());
  bench.settings.segmentBytes = 5 * kRecordBytes;
  auto r = bench.Start();
  ASSERT_TRUE(r);
  for (uint64_t n = 0; n < 4; ++n) ASSERT_TRUE(bench.Deliver(*r, n));
  ASSERT_TRUE(bench.Deliver(*r, 6, 2));  // blocks 4 and 5 never came
  r->Pause();
  bench.utc += 10 * 384000;  // stopped for ten blocks' time
  ASSERT_TRUE(bench.Deliver(*r, 17));
  const RecorderStatus closed = r->Close();
  EXPECT_EQ(closed.ended, EndReason::Closed);
  EXPECT_EQ(std::tie(closed.blocksRecorded, closed.blocksLost, closed.gaps),
            std::make_tuple(uint64_t{6}, uint64_t{2}, uint64_t{2}));

  auto index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index) << index.failure().reason;
  EXPECT_TRUE(index.value().problems.empty());
  EXPECT_TRUE(index.value().complete && !index.value().stillWriting);
  EXPECT_EQ(index.value().segments.size(), size_t{2});
  EXPECT_EQ(index.value().description.card, "KZB7310 \"模拟\" 板卡");
  const auto rows = AllRows(index.value());
  ASSERT_EQ(rows.size(), size_t{8});
  const int64_t t0 = rows[0].header.utcMicros;
  struct Expected {
    uint32_t flags;
    uint64_t block, count;
    int64_t sinceStart;
  };
  const Expected expected[] = {{kBlock, 0, 1, 0},
                               {kBlock, 1, 1, 384000},
                               {kBlock, 2, 1, 768000},
                               {kBlock, 3, 1, 1152000},
                               {kGap, 4, 2, 1536000},
                               {kBlock, 6, 1, 2304000},
                               {kGap | kPaused, 7, 10, 2688000},
                               {kBlock, 17, 1, 6528000}};
  for (size_t i = 0; i < rows.size(); ++i) {
    const RecordHeader& h = rows[i].header;
    EXPECT_EQ(std::make_tuple(h.flags, h.block, uint64_t{h.count}, h.utcMicros - t0),
              std::make_tuple(expected[i].flags, expected[i].block, expected[i].count,
                              expected[i].sinceStart))
        << "row " << i;
  }
  ExpectBlocksAsDelivered(index.value());
  EXPECT_EQ(rows[0].least[1], static_cast<uint16_t>(31));  // the minmax row of block 0
  EXPECT_TRUE(index.value().events.empty() && index.value().notes.empty());
}

// A disk that fills, a disk too slow for the queue, a limit reached: each ends the
// recording, and what it holds is whole.
TEST_F(RecorderTest, AFullOrSlowDiskOrALimitEndsItWhole) {
  struct Row {
    const char* name;
    std::function<void(RecorderSettings&)> set;
    EndReason ended;
  };
  const Row rows[] = {
      {"full",
       [](RecorderSettings& s) {
         // Room for the reserve and four records besides the description record.
         s.reserveBytes = 1 << 20;
         s.freeBytes = [](const std::string& folder) {
           return std::optional<uint64_t>((1 << 20) + 5 * kRecordBytes - FolderBytes(folder));
         };
       },
       EndReason::DiskFull},
      {"slow",
       [](RecorderSettings& s) {
         s.queueBlocks = 2;
         s.syncSeconds = 0;
         s.freeBytes = [](const std::string&) {
           std::this_thread::sleep_for(std::chrono::milliseconds(200));
           return std::optional<uint64_t>();
         };
       },
       EndReason::DiskSlow},
      {"duration", [](RecorderSettings& s) { s.limitSeconds = 0.384 * 5; }, EndReason::Duration},
      {"size", [](RecorderSettings& s) { s.limitBytes = 6 * kRecordBytes; }, EndReason::Size},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bench bench((dir / row.name).string());
    row.set(bench.settings);
    auto r = bench.Start();
    ASSERT_TRUE(r);
    uint64_t n = 0;
    while (n < 200 && bench.Deliver(*r, n)) {
      ++n;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_LT(n, 200u);
    const RecorderStatus closed = r->Close();
    EXPECT_EQ(closed.ended, row.ended);
    auto index = OpenRecording(bench.settings.folder);
    ASSERT_TRUE(index);
    EXPECT_TRUE(index.value().complete);
    EXPECT_EQ(index.value().blocksRecorded, closed.blocksRecorded);
    ExpectBlocksAsDelivered(index.value());
  }
}

// A start that cannot record makes nothing; the least size limit still holds a block; a
// folder deleted while it records ends the recording at the next sync, said as not found.
TEST_F(RecorderTest, AStartThatCannotRecordMakesNothingAndALostFolderIsSaid) {
  Bench full((dir / "full" / "rec").string());
  full.settings.freeBytes = [](const std::string&) { return std::optional<uint64_t>(1 << 20); };
  full.settings.reserveBytes = 1 << 20;
  auto refused = Recorder::Start(full.settings);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.failure().cause, base::Failure::Cause::NoSpace);
  EXPECT_FALSE(std::filesystem::exists(dir / "full"));
  EXPECT_TRUE(RecordingFolderUsable((dir / "new" / "rec").string()));
  EXPECT_FALSE(std::filesystem::exists(dir / "new"));

  Bench least((dir / "least").string());
  least.settings.limitBytes = kLeastLimitBytes;
  auto r = least.Start();
  ASSERT_TRUE(r);
  EXPECT_TRUE(least.Deliver(*r, 0));
  EXPECT_FALSE(least.Deliver(*r, 1));
  const RecorderStatus one = r->Close();
  EXPECT_EQ(std::tie(one.ended, one.blocksRecorded), std::make_tuple(EndReason::Size, uint64_t{1}));

  Bench gone((dir / "gone").string());
  gone.settings.syncSeconds = 0;
  r = gone.Start();
  ASSERT_TRUE(r);
  ASSERT_TRUE(gone.Deliver(*r, 0));
  std::error_code held;
  std::filesystem::remove_all(gone.settings.folder, held);
  if (held) return;  // Windows keeps a folder whose files are open: nothing to notice there
  // Each block once the last is written: a slow writer (sanitizers, valgrind) must not end
  // it as a disk too slow before it syncs.
  uint64_t n = 1;
  while (n < 100000 && gone.Deliver(*r, n)) {
    ++n;
    for (int wait = 0; wait < 5000 && r->Status().queued > 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  const RecorderStatus ended = r->Close();
  EXPECT_EQ(ended.ended, EndReason::WriteFailed);
  EXPECT_EQ(ended.cause, base::Failure::Cause::NotFound);
}

// A crash: the last record torn and the summaries behind. The reader leaves the tear out,
// the repair cuts it off, rebuilds the summaries and the description, and says it was
// interrupted; a damaged record, a foreign segment and a newer description are said.
TEST_F(RecorderTest, ATornOrDamagedRecordingIsReadAsFarAsItGoes) {
  Bench bench((dir / "rec").string());
  auto r = bench.Start();
  for (uint64_t n = 0; n < 6; ++n) ASSERT_TRUE(bench.Deliver(*r, n));
  r->Close();
  r.reset();
  const auto segment = dir / "rec" / "segment-0001.kzr";
  const auto minmax = dir / "rec" / "segment-0001.minmax";
  std::filesystem::resize_file(minmax, 3 * kSummaryRowBytes);   // rows behind the records
  AppendBytes(segment, std::string(kRecordBytes / 2, '\x11'));  // half a record
  std::filesystem::remove(dir / "rec" / "recording.json");

  auto index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  EXPECT_EQ(index.value().blocksRecorded, 6u);
  EXPECT_FALSE(index.value().complete);
  auto repaired = RepairRecording(bench.settings.folder);
  ASSERT_TRUE(repaired);
  EXPECT_EQ(repaired.value().tornBytes, kRecordBytes / 2);
  EXPECT_EQ(std::filesystem::file_size(segment), 7 * kRecordBytes);
  EXPECT_EQ(std::filesystem::file_size(minmax), 6 * kSummaryRowBytes);
  index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  EXPECT_TRUE(index.value().described && !index.value().complete);
  ExpectBlocksAsDelivered(index.value());

  // Record 3 damaged on the disk, a stranger's segment, a description from a newer program.
  {
    std::fstream f(segment, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(3 * kRecordBytes + 100);
    f.put('\x7f');
  }
  std::filesystem::resize_file(minmax, 0);
  std::ofstream(dir / "rec" / "segment-0002.kzr", std::ios::binary)
      << std::string(kRecordBytes, 'x');
  std::ofstream(dir / "rec" / "recording.json")
      << "{\"format\": \"kzb7310 recording\", \"format_version\": 9}";
  index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  const auto& problems = index.value().problems;
  ASSERT_EQ(problems.size(), size_t{3});
  EXPECT_EQ(problems[0].cause, base::Failure::Cause::FormatNewer) << problems[0].reason;
  EXPECT_EQ(problems[1].cause, base::Failure::Cause::RecordDamaged) << problems[1].reason;
  EXPECT_NE(problems[1].reason.find("record 3 is damaged"), std::string::npos)
      << problems[1].reason;
  EXPECT_EQ(problems[2].subject, "segment-0002.kzr");
  EXPECT_EQ(problems[2].cause, base::Failure::Cause::NotARecordingFile) << problems[2].reason;
  EXPECT_EQ(index.value().blocksRecorded, 5u);
  EXPECT_EQ(index.value().blocksDamaged, 1u);
}

std::string Repeated(std::string_view piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// Notes kept byte for byte: any Unicode, 10,000 characters of four bytes (two records, here
// across two segments), control characters and NUL; what is no UTF-8 or too long refused.
TEST_F(RecorderTest, EventsAndNotesComeBackByteForByte) {
  Bench bench((dir / "rec").string());
  bench.settings.segmentBytes = 5 * kRecordBytes;
  auto r = bench.Start();
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->AddEvent({.channel = 1}));  // no block yet: no time to place it at
  for (uint64_t n = 0; n < 3; ++n) ASSERT_TRUE(bench.Deliver(*r, n));
  ASSERT_TRUE(r->AddEvent({.channel = 5,
                           .edge = EventEdge::Falling,
                           .levelVolts = -1.25,
                           .secondsAfterLastBlock = -0.284,  // 0.1 s into block 1
                           .gap = true}));
  EXPECT_FALSE(r->AddEvent({.channel = 5, .secondsAfterLastBlock = -2}));  // before the start
  EXPECT_FALSE(r->AddEvent({.channel = 5, .secondsAfterLastBlock = std::nan("")}));
  const std::string kept[] = {
      "电压跳变 ✓ Ωμ", std::string("a\0b\x01\x1f\t\r\n\x7f\"\\ \xE2\x80\xA8", 15), "",
      Repeated("\xF0\x9F\x98\x80", 10000),  // 😀: 40,000 bytes, past one record
  };
  const int64_t noteUtc = bench.utc.load() + 123;
  for (const std::string& text : kept) ASSERT_TRUE(r->AddNote(text, noteUtc)) << text.size();
  for (const char* refused : {"\xFF", "\xC0\x80", "\xED\xA0\x80", "\xE4\xB8", "\xF4\x90\x80\x80"})
    EXPECT_FALSE(r->AddNote(refused, noteUtc)) << refused;
  EXPECT_FALSE(r->AddNote(std::string(kMostNoteBytes + 1, 'a'), noteUtc));
  ASSERT_TRUE(bench.Deliver(*r, 3));
  const RecorderStatus closed = r->Close();
  EXPECT_EQ(std::tie(closed.blocksRecorded, closed.gaps, closed.events, closed.notes),
            std::make_tuple(uint64_t{4}, uint64_t{0}, uint64_t{1}, uint64_t{4}));
  // Segment 2 ends with the long note's first record, segment 3 opens with its second.
  ASSERT_EQ(std::filesystem::file_size(dir / "rec" / "segment-0003.kzr"), 3 * kRecordBytes);

  const auto check = [&](const RecordingIndex& index, const char* how) {
    ASSERT_EQ(index.events.size(), size_t{1}) << how;
    const EventRecord& e = index.events[0];
    EXPECT_EQ(std::tie(e.channel, e.edge, e.levelVolts, e.block, e.gap),
              std::make_tuple(5, EventEdge::Falling, -1.25, uint64_t{1}, true))
        << how;
    EXPECT_NEAR(e.secondsIntoBlock, 0.1, 1e-12) << how;
    EXPECT_EQ(e.utcMicros - AllRows(index)[1].header.utcMicros, 100000) << how;
    ASSERT_EQ(index.notes.size(), std::size(kept)) << how;
    for (size_t i = 0; i < std::size(kept); ++i) {
      EXPECT_EQ(index.notes[i].text, kept[i]) << how << " note " << i;
      EXPECT_EQ(index.notes[i].utcMicros, noteUtc) << how;
    }
    EXPECT_EQ(std::tie(index.blocksRecorded, index.gaps, index.blocksDamaged),
              std::make_tuple(uint64_t{4}, uint64_t{0}, uint64_t{0}))
        << how;
    EXPECT_TRUE(index.problems.empty()) << how << ": " << index.problems[0].reason;
    ExpectBlocksAsDelivered(index);
  };
  auto index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  check(index.value(), "as written");
  std::ifstream json(dir / "rec" / "recording.json");
  const std::string described((std::istreambuf_iterator<char>(json)), {});
  EXPECT_NE(described.find("\"edge\": \"falling\", \"level_v\": -1.25, \"block\": 1"),
            std::string::npos);
  EXPECT_NE(
      described.find("\"text\": \"a\\u0000b\\u0001\\u001f\\t\\r\\n\x7f\\\"\\\\ \xE2\x80\xA8\""),
      std::string::npos);
  EXPECT_TRUE(ParseDescription(described));
  json.close();  // a file still open cannot be removed on every system

  // The segments alone keep them: the summaries and the description gone, then repaired.
  for (const char* name : {"recording.json", "segment-0001.minmax", "segment-0002.minmax"})
    std::filesystem::remove(dir / "rec" / name);
  index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  check(index.value(), "from the segments");
  ASSERT_TRUE(RepairRecording(bench.settings.folder));
  EXPECT_EQ(std::filesystem::file_size(dir / "rec" / "segment-0001.minmax"), 4 * kSummaryRowBytes);
  index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  check(index.value(), "repaired");
}

// A segment cut in the middle of a note's second record: the reader keeps every whole
// event, note and block before it, and the repair cuts the torn record off.
TEST_F(RecorderTest, ANoteCutShortIsLeftOutAndTheRestKept) {
  Bench bench((dir / "rec").string());
  auto r = bench.Start();
  ASSERT_TRUE(bench.Deliver(*r, 0));
  ASSERT_TRUE(r->AddEvent({.channel = 63, .levelVolts = 4.5, .secondsAfterLastBlock = 0.2}));
  ASSERT_TRUE(r->AddNote("第一条", 1));
  ASSERT_TRUE(bench.Deliver(*r, 1));
  ASSERT_TRUE(r->AddNote(std::string(kNotePieceBytes + 10, 'x'), 2));
  r->Close();
  r.reset();
  const auto segment = dir / "rec" / "segment-0001.kzr";
  ASSERT_EQ(std::filesystem::file_size(segment), 7 * kRecordBytes);
  std::filesystem::resize_file(segment, 6 * kRecordBytes + kRecordBytes / 3);
  std::filesystem::remove(dir / "rec" / "recording.json");

  auto index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  ASSERT_EQ(index.value().events.size(), size_t{1});
  EXPECT_EQ(index.value().events[0].channel, 63);
  ASSERT_EQ(index.value().notes.size(), size_t{1});
  EXPECT_EQ(index.value().notes[0].text, "第一条");
  EXPECT_EQ(index.value().blocksRecorded, 2u);
  EXPECT_EQ(index.value().blocksDamaged, 0u);
  auto repaired = RepairRecording(bench.settings.folder);
  ASSERT_TRUE(repaired);
  EXPECT_EQ(repaired.value().tornBytes, kRecordBytes / 3);
  EXPECT_EQ(std::filesystem::file_size(dir / "rec" / "segment-0001.minmax"), 5 * kSummaryRowBytes);
  index = OpenRecording(bench.settings.folder);
  ASSERT_TRUE(index);
  EXPECT_EQ(std::make_tuple(index.value().events.size(), index.value().notes.size(),
                            index.value().blocksRecorded),
            std::make_tuple(size_t{1}, size_t{1}, uint64_t{2}));
  ExpectBlocksAsDelivered(index.value());
}

// A folder is made when missing, and one that holds a recording is never written over.
TEST_F(RecorderTest, ARecordingsFolderIsNeverWrittenOver) {
  Bench first((dir / "a" / "b").string());
  auto r = first.Start();
  ASSERT_TRUE(r);
  ASSERT_TRUE(first.Deliver(*r, 0));
  EXPECT_EQ(FreeRecordingFolder(first.settings.folder), first.settings.folder + "-2");
  r->Close();
  std::ofstream(dir / "file") << "x";
  const std::pair<std::string, const char*> refused[] = {
      {first.settings.folder, "holds a recording already"},
      {(dir / "file").string(), "not a folder"},
      {(dir / "file" / "sub").string(), ""},
  };
  for (const auto& [folder, why] : refused) {
    auto made = MakeRecordingFolder(folder);
    ASSERT_FALSE(made) << folder;
    EXPECT_NE(made.failure().reason.find(why), std::string::npos) << made.failure().reason;
  }
  EXPECT_EQ(OpenRecording(first.settings.folder).value().blocksRecorded, 1u);
}

// A recording noted open is interrupted once no program writes it any more.
TEST_F(RecorderTest, AnOpenRecordingIsFoundOnceNobodyWritesIt) {
  const std::string registry = (dir / "open").string();
  Bench bench((dir / "rec").string());
  auto r = bench.Start();
  ASSERT_TRUE(NoteOpen(registry, bench.settings.folder));
  ASSERT_TRUE(bench.Deliver(*r, 0));
  EXPECT_TRUE(InterruptedRecordings(registry).empty());  // still being written
  r.reset();  // the program gone without noting it closed
  EXPECT_EQ(InterruptedRecordings(registry), std::vector<std::string>{bench.settings.folder});
  NoteClosed(registry, bench.settings.folder);
  EXPECT_TRUE(InterruptedRecordings(registry).empty());
}

// Stalls of the card, early (before the loss watch knows the pace) and late, short enough for
// the card's queue and not: each gap's count is the simulated card's own overrun count, and
// every block around it is the card's, byte for byte, under the card's own number. A card
// run faster than its nominal pace is counted by the loss watch; a backlog the card hands
// over at once is more than the writer's queue holds, and is no slow disk.
TEST_F(RecorderTest, AStalledCardsGapIsItsOverrunCount) {
  struct Row {
    const char* name;
    double pace;                       // card seconds per second of the program's clock
    double stallAt, stallFor, stopAt;  // card seconds
    size_t queueBlocks;
    uint64_t gaps;
    int offBy;  // blocks the count may miss: the loss watch's precision at a 19 ms period
  };
  const Row rows[] = {
      {"at 1 s", 1, 1, 40, 60, 128, 1, 0},
      {"at 3 s", 1, 3, 40, 60, 128, 1, 0},
      {"at 5 s", 1, 5, 40, 60, 128, 1, 0},
      {"at 20 s", 1, 20, 40, 80, 128, 1, 0},
      {"within the card's queue", 1, 3, 20, 40, 128, 0, 0},
      {"backlog over the writer's queue", 1, 3, 40, 60, 16, 1, 0},
      {"20 times the pace", 20, 60, 40, 120, 128, 1, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimCard_Reset();
    SimCard_SetManualClock(1);
    DllDef dll(ADCARD_PATH);
    const auto started = acquisition::StartAcquisition(dll);
    ASSERT_TRUE(started && started.value().started);
    RecorderSettings settings;
    settings.folder = (dir / row.name).string();
    settings.description = CardDescription(dll, "simulated", "test");
    settings.queueBlocks = row.queueBlocks;
    settings.freeBytes = [](const std::string&) { return std::optional<uint64_t>(); };
    auto r = Recorder::Start(settings);
    ASSERT_TRUE(r);
    std::atomic<bool> stop{false};
    const int64_t start = SimCard_NowMicros();
    const auto cardSeconds = [&] { return (SimCard_NowMicros() - start) / 1e6; };
    bool stalled = false;
    const auto polled = RecordCard(
        dll, *r.value(), stop,
        {.steadySeconds = [&] { return SimCard_NowMicros() / 1e6 / row.pace; },
         .sleepMs =
             [&](int) {
               SimCard_AdvanceMs(static_cast<int32_t>(50 * row.pace));
               if (!stalled && cardSeconds() > row.stallAt) {
                 stalled = true;
                 SimCard_StallQueries(static_cast<int32_t>(row.stallFor * 1000));
               }
               // The card's clock waits for the writer, as a disk at rest keeps up (also
               // under valgrind).
               for (RecorderStatus s = r.value()->Status();
                    s.queued > 0 && s.ended == EndReason::None; s = r.value()->Status()) {
                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
               }
               stop = cardSeconds() > row.stopAt;
             },
         .everySecond = {}});
    ASSERT_TRUE(polled);
    const RecorderStatus closed = r.value()->Close();
    EXPECT_EQ(closed.ended, EndReason::Closed);
    EXPECT_NEAR(static_cast<double>(closed.blocksLost), SimCard_OverrunCount(), row.offBy);
    EXPECT_EQ(closed.gaps, row.gaps);
    if (row.offBy > 0) continue;

    auto index = OpenRecording(settings.folder);
    ASSERT_TRUE(index);
    std::vector<int16_t> cells(kCodesPerRecord);
    std::vector<uint8_t> payload;
    uint64_t expectedBlock = 0;
    const int64_t t0 = index.value().segments.front().rows.front().header.utcMicros;
    for (const SegmentIndex& s : index.value().segments) {
      for (size_t i = 0; i < s.rows.size(); ++i) {
        const RecordHeader& h = s.rows[i].header;
        ASSERT_EQ(h.block, expectedBlock);
        ASSERT_EQ(h.utcMicros - t0, static_cast<int64_t>(h.block) * 384000) << "block " << h.block;
        expectedBlock += h.count;
        if (h.flags != kBlock) continue;
        ASSERT_TRUE(ReadRecord(s, i, payload));
        simcard::FillBlock(cells.data(), kChannels, kPoints, static_cast<int64_t>(h.block), 50000,
                           {simcard::DefaultTone()});
        ASSERT_EQ(std::memcmp(payload.data(), cells.data(), kPayloadBytes), 0)
            << "block " << h.block;
      }
    }
    EXPECT_GT(expectedBlock, static_cast<uint64_t>(row.stopAt / 0.384) - 3);
  }
}

// The viewer's columns come from the summaries and agree with the samples; a span goes out
// as CSV (going on in numbered files where a spreadsheet would cut it, an empty line at the
// gap) and as WAV, RIFF or RF64, a gap's time kept as 0 V.
TEST_F(RecorderTest, TheViewAndItsExportsHoldWhatWasRecorded) {
  Bench bench((dir / "rec").string());
  bench.settings.description.fullScaleCount = 65535;
  bench.settings.description.spanVolts = 10;
  auto r = bench.Start();
  for (uint64_t n = 0; n < 40; ++n) ASSERT_TRUE(bench.Deliver(*r, n));
  ASSERT_TRUE(bench.Deliver(*r, 42, 2));
  r->Close();
  auto opened = RecordingView::Open(bench.settings.folder);
  ASSERT_TRUE(opened) << opened.failure().reason;
  RecordingView& view = opened.value();
  const int64_t t0 = view.startMicros(), block = view.blockMicros();
  EXPECT_EQ(view.endMicros() - t0, 43 * block);
  // The whole in 7 columns, then one block's samples: each column holds its samples' range.
  std::vector<ViewColumn> columns;
  view.Columns(5, t0, view.endMicros(), 7, columns);
  std::vector<ViewSample> samples;
  ASSERT_FALSE(view.Samples(5, t0, view.endMicros(), 1000, samples));  // too many
  ASSERT_TRUE(view.Samples(5, t0, view.endMicros(), 43 * 300, samples));
  EXPECT_EQ(samples.size(), 41u * 300);
  for (int c = 0; c < 7; ++c) {
    const int64_t from = t0 + c * 43 * block / 7, to = t0 + (c + 1) * 43 * block / 7;
    float least = 1e9f, greatest = -1e9f;
    for (const ViewSample& s : samples) {
      if (s.utcMicros >= from - block + 1 && s.utcMicros < to) {
        least = std::min(least, s.volts);
        greatest = std::max(greatest, s.volts);
      }
    }
    ASSERT_TRUE(columns[c].any);
    EXPECT_LE(columns[c].least, least) << c;
    EXPECT_GE(columns[c].greatest, greatest) << c;
  }
  const auto gaps = view.Gaps(t0, view.endMicros());
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(std::make_tuple(gaps[0].fromMicros - t0, gaps[0].toMicros - t0, gaps[0].count),
            std::make_tuple(40 * block, 42 * block, 2u));

  const ExportSpan span{
      .fromMicros = t0 + 39 * block, .toMicros = view.endMicros(), .channels = {0, 63}};
  const std::string csv = (dir / "span.csv").string();
  auto written = ExportCsv(view, span, csv, 101);
  ASSERT_TRUE(written);
  EXPECT_EQ(std::make_tuple(written.value().rows, written.value().rowsInSpan),
            std::make_tuple(uint64_t{600}, uint64_t{600}));
  // 600 rows and the gap's empty line, 100 lines to a file.
  ASSERT_EQ(written.value().files.size(), 7u);
  EXPECT_EQ(written.value().files[6], (dir / "span-7.csv").string());
  std::ifstream in(csv, std::ios::binary);
  std::string heading, first;
  std::getline(in, heading);
  std::getline(in, first);
  EXPECT_EQ(heading, "\xEF\xBB\xBF时间 (UTC),通道1 (Ch 0) (V),通道64 (Ch 63) (V)\r");
  EXPECT_EQ(first.substr(0, 28), UtcText(t0 + 39 * block) + ",");
  struct Row {
    uint64_t rf64Above;
    const char* riff;
  };
  for (const Row& row : {Row{0xFFFFFFFFull, "RIFF"}, Row{1000, "RF64"}}) {
    const std::string wav = (dir / (std::string(row.riff) + ".wav")).string();
    auto sound = ExportWav(view, span, wav, row.rf64Above);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound.value().rows, 4u * 300);  // block 39, two lost, block 42
    EXPECT_EQ(sound.value().sampleRateHz, 781);
    std::ifstream w(wav, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(w)), {});
    ASSERT_EQ(bytes.size(), 80u + 1200 * 2 * 2);
    EXPECT_EQ(bytes.substr(0, 4), row.riff);
    EXPECT_EQ(bytes.substr(12, 4), row.rf64Above < 2000 ? "ds64" : "JUNK");
    int16_t lost, back;
    std::memcpy(&lost, &bytes[80 + 400 * 4], 2);  // in the gap: 0 V
    std::memcpy(&back, &bytes[80 + 900 * 4], 2);  // block 42's first point, channel 1
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(back, static_cast<int16_t>(static_cast<uint16_t>(Cells(42)[0]) - 32768));
  }
}

// The nominal pace on a card of the test's own, polled every 50 ms: the losses it settles
// against the card's own overruns. A card within its clock's allowance is counted exactly
// however early it stalls; one faster than its period allows is left to the loss watch,
// and a poll on the edge of a block is held, not guessed.
TEST(NominalPace, SettlesEarlyStallsFromTheCardsClock) {
  struct Row {
    const char* name;
    double period, phase;  // the card's, on the program's clock (nominal: 0.384 s)
    double stallAt, stallFor;
    double jitter;  // how late each poll's answer comes after its asking
    bool retired;
  };
  const Row rows[] = {
      {"steady", 0.384, 0.2, 100, 0, 0, false},
      {"stall after the first block", 0.384, 0.2, 0.3, 40, 0, false},
      {"stall at 3 s", 0.384, 0.01, 3, 40, 0, false},
      {"stall within the card's queue", 0.384, 0.3, 3, 20, 0, false},
      {"slow answers", 0.384, 0.2, 5, 40, 0.03, false},
      {"a card 0.05 % slow", 0.384 * 1.0005, 0.2, 3, 40, 0, false},
      {"20 times the pace", 0.384 / 20, 0.01, 1, 4, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    NominalPace pace(0.384);
    constexpr int64_t kQueue = 64;
    int64_t fetched = 0, overruns = 0, lost = 0;
    for (double t = 0; t < 60; t += 0.05) {
      if (t >= row.stallAt && t < row.stallAt + row.stallFor) continue;
      const double asked = t, answered = t + row.jitter;
      const double at = asked + (answered - asked) / 2;  // when the card counted
      const int64_t finished =
          at < row.phase ? 0 : 1 + static_cast<int64_t>((at - row.phase) / row.period);
      if (finished - fetched > kQueue) {
        overruns += finished - fetched - kQueue;
        fetched = finished - kQueue;
      }
      const NominalPace::State state = pace.Poll(asked, answered, finished - fetched);
      fetched = finished;
      if (state == NominalPace::State::Settled) {
        for (int64_t n : pace.lost()) lost += n;
      }
    }
    EXPECT_EQ(pace.retired(), row.retired);
    if (!row.retired) {
      EXPECT_EQ(lost, overruns);
    }
    EXPECT_LE(lost, overruns);  // never a loss that did not happen
  }
}
