// The names the records hold read back as the same identities, and every name as itself.
#include "CheckIdentity.h"

#include <gtest/gtest.h>

using namespace selftest;

TEST(CheckIdentity, AFigureNameReadsBackAsItself) {
  struct Row {
    const char* name;
    Subject subject;
    int number;
    const char* figure;
  } rows[] = {
      {"channel 64 SNR", Subject::Channel, 64, "SNR"},
      {"channel 1 blocks received", Subject::Channel, 1, "blocks received"},
      {"output bit 0 patterns misread", Subject::OutputBit, 0, "patterns misread"},
      {"lost blocks", Subject::Card, 0, "lost blocks"},
      // Shapes this program never writes stay whole, so they are written back unchanged.
      {"channel 007 SNR", Subject::Card, 0, "channel 007 SNR"},
      {"channel +5 SNR", Subject::Card, 0, "channel +5 SNR"},
      {"channel -1 SNR", Subject::Card, 0, "channel -1 SNR"},
      {"channel 64", Subject::Card, 0, "channel 64"},
      {"channel x SNR", Subject::Card, 0, "channel x SNR"},
      {"channel 99999999999 SNR", Subject::Card, 0, "channel 99999999999 SNR"},
      {"", Subject::Card, 0, ""},
  };
  for (const Row& row : rows) {
    const FigureId id(row.name);
    EXPECT_EQ(id, FigureId(row.subject, row.number, row.figure)) << row.name;
    EXPECT_EQ(id.Name(), row.name);
  }
}

TEST(CheckIdentity, VerdictAndCheckNamesAreTheRecordsOwn) {
  for (Verdict v : {Verdict::Pass, Verdict::Fail, Verdict::NotRun, Verdict::Aborted}) {
    EXPECT_EQ(VerdictNamed(VerdictName(v)), v);
  }
  EXPECT_STREQ(VerdictName(Verdict::NotRun), "NOT RUN");
  EXPECT_EQ(VerdictNamed("pass"), std::nullopt);
  for (CheckKind k : {CheckKind::Identity, CheckKind::Acquisition, CheckKind::Analog,
                      CheckKind::Dynamic, CheckKind::Digital, CheckKind::Stop}) {
    EXPECT_EQ(CheckNamed(CheckName(k)), k);
  }
  EXPECT_EQ(CheckNamed("calibration"), std::nullopt);
}
