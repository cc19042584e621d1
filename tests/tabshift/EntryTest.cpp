// The entry's success path with a stand-in upgrade, run in a child process because the run
// log and the command line are process-wide.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "framework/Exception.h"
#include "platform/FileSystem.h"
#include "support/TempDirectory.h"
#include "tabshift/Entry.h"

namespace tabshift {
namespace {

struct ChildRun {
  int exit_code = -1;
  int pid = 0;
  std::string console;
};

ChildRun RunEntry(const std::string& directory, const UpgradeRun& upgrade) {
  const std::string console = directory + "/console.txt";
  const pid_t child = fork();
  if (child == 0) {
    const int output = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (output < 0 || dup2(output, 1) < 0 || chdir(directory.c_str()) != 0) _exit(126);
    const char* argv[] = {"tabshift", "iFileName=in.udb", "oFileName=out.abs"};
    _exit(ProgramMain(3, argv, upgrade));
  }
  int status = 0;
  ChildRun run;
  run.pid = child;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  run.console = testing::ReadWholeFile(console);
  return run;
}

TEST(EntryTest, SuccessDeletesTheLogAndEndsWithItsDeletionLine) {
  testing::TempDirectory directory;
  std::string seen;
  const ChildRun run =
      RunEntry(directory.path(), [&](const std::string& source, const std::string& target) {
        testing::WriteWholeFile(directory.File("seen.txt"), source + "|" + target);
      });
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(testing::ReadWholeFile(directory.File("seen.txt")), "in.udb|out.abs");
  const std::string log_name = "tabshift_tests." + std::to_string(run.pid) + ".log";
  EXPECT_FALSE(platform::FileExists(directory.File(log_name)));
  EXPECT_TRUE(std::regex_search(run.console, std::regex(R"(\[PRGX\] 000\n.*\[PRGX\] 100\n)")));
  const std::string last_line =
      R"(\[\d\d:\d\d:\d\d\] \[LOGX\] Log file ')" + log_name + R"(' deleted\n$)";
  EXPECT_TRUE(std::regex_search(run.console, std::regex(last_line))) << run.console;
}

TEST(EntryTest, ErrorOfAnyClassIsReportedWithItsClassName) {
  testing::TempDirectory directory;
  const ChildRun run = RunEntry(directory.path(), [](const std::string&, const std::string&) {
    throw EAssertionFailed("Assertion failed", "upto70500", 42);
  });
  EXPECT_EQ(run.exit_code, 1);
  const std::string log_name = "tabshift_tests." + std::to_string(run.pid) + ".log";
  const std::string log = testing::ReadWholeFile(directory.File(log_name));
  EXPECT_NE(log.find("[ERRX] EAssertionFailed: Assertion failed (upto70500, line 42)\r\n"),
            std::string::npos)
      << log;
}

TEST(EntryTest, OutOfMemoryIsReportedNotFatal) {
  testing::TempDirectory directory;
  const ChildRun run = RunEntry(
      directory.path(), [](const std::string&, const std::string&) { throw std::bad_alloc(); });
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.console.find("[ERRX] EOutOfMemory: Out of memory"), std::string::npos);
}

}  // namespace
}  // namespace tabshift
