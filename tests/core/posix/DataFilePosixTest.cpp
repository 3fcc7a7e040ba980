// Data files on Linux: names and directory, and what only POSIX can do to a file's name,
// its disk and its writer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "DataDirectory.h"
#include "DataFile.h"
#include "DataFileTestSupport.h"
#include "WholeFile.h"

using namespace acquisition;
using namespace base;
namespace fs = std::filesystem;

std::vector<PlantedThing> PlatformPlants(const fs::path& file, const fs::path& target) {
  return {
      {"a FIFO", [file] { ASSERT_EQ(mkfifo(file.c_str(), 0644), 0); }, true},
      {"a link", [file, target] { fs::create_symlink(target, file); }, true},
  };
}

namespace {

TEST(DataFilePosix, NamesAndDirectory) {
  EXPECT_EQ(DataFilePath("/tmp", 19), "/tmp/KZB7315 19.txt");
  EXPECT_EQ(DataFilePath("/data/", 1), "/data/KZB7315 1.txt");
  EXPECT_EQ(FileNameOfPath("/tmp/KZB7315 1.txt"), "KZB7315 1.txt");
  EXPECT_EQ(DirectoryCaption("/tmp"), "文件保存到:/tmp");
  const char* saved = std::getenv("TMPDIR");
  const std::string restore = saved ? saved : "";
  setenv("TMPDIR", "/srv/bench", 1);
  EXPECT_EQ(DefaultDataDirectory(), "/srv/bench");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(DefaultDataDirectory(), "/tmp");
  unsetenv("TMPDIR");
  EXPECT_EQ(DefaultDataDirectory(), "/tmp");
  if (saved) setenv("TMPDIR", restore.c_str(), 1);
}

TEST_F(WriteWholeFileTest, FailuresSayWhyAndLeaveNothingBehind) {
  struct Case {
    const char* what;
    fs::path path;
  } cases[] = {{"missing directory", dir / "missing" / "f.txt"},
               {"a file where the directory should be", dir / "plain" / "f.txt"},
               {"a directory that takes no files", "/proc/KZB7315 0.txt"}};
  std::ofstream(dir / "plain") << "x";
  for (const Case& c : cases) {
    const auto written = WriteWholeFile(c.path.string(), "data");
    ASSERT_FALSE(written) << c.what;
    EXPECT_EQ(written.failure().kind, base::Failure::Kind::FileNotWritten);
    EXPECT_FALSE(written.failure().reason.empty()) << c.what;
  }
  EXPECT_EQ(Others(), std::vector<std::string>{"plain"});
}

// A disk that fills up in the middle of the file: the earlier file stays whole.
TEST_F(WriteWholeFileTest, ADiskFullMidwayKeepsTheEarlierFile) {
  std::ofstream(file) << "earlier";
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  auto savedHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 36864;
  setrlimit(RLIMIT_FSIZE, &small);
  const auto written = WriteWholeFile(file.string(), std::string(82000, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);
  ASSERT_FALSE(written);
  EXPECT_EQ(ReadFile(file), "earlier");
  EXPECT_TRUE(Others().empty());
}

// Killed after writing but before the file is moved into place: the earlier file is intact,
// and the temporary file left behind is kept under a name of its own at the next start.
TEST_F(WriteWholeFileTest, AKillWhileWritingKeepsTheEarlierFile) {
  std::ofstream(file) << "earlier";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto pending = WriteTemporaryFile(file.string(), std::string(82000, 'x'));
    raise(SIGKILL);
    _exit(pending ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadFile(file), "earlier");
  ASSERT_EQ(Others().size(), 1u);
  EXPECT_TRUE(Others()[0].starts_with(".KZB7315 0.txt."));
  const std::string leftover = Others()[0];
  const auto kept = RecoverLeftoverDataFiles(dir.string());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(Others(), std::vector<std::string>{RecoveredName(leftover)});
  EXPECT_EQ(ReadFile(dir / RecoveredName(leftover)).size(), 82000u);
  EXPECT_NE(kept[0].find(RecoveredName(leftover)), std::string::npos);
}

// A temporary file that another running program is still finishing is left alone.
TEST_F(WriteWholeFileTest, AFileAnotherProgramIsFinishingIsLeftAlone) {
  auto pending = WriteTemporaryFile(file.string(), "data");
  ASSERT_TRUE(pending);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(RecoverLeftoverDataFiles(dir.string()).empty() ? 0 : 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(CommitFile(pending.value()));
  EXPECT_EQ(ReadFile(file), "data");
}

}  // namespace
