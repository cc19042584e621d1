#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "platform/FileSystem.h"
#include "support/ProgramRun.h"
#include "support/TempDirectory.h"

namespace tabshift {
namespace {

using testing::ProgramResult;
using testing::ReadWholeFile;
using testing::RunProgram;
using testing::TempDirectory;

const std::string kStamp = R"(\[\d\d:\d\d:\d\d\])";
const std::string kUsage = "Usage: tabshift.exe iFileName=\"tillo.udb\" oFileName=\"tillo.abs\"";

std::vector<std::string> Lines(const std::string& text, const std::string& ending) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find(ending, start)) != std::string::npos;
       start = end + ending.size()) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "unterminated last line";
  return lines;
}

bool Matches(const std::string& line, const std::string& pattern) {
  return std::regex_match(line, std::regex(pattern));
}

std::string Escaped(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramResult Run(const std::vector<std::string>& arguments) {
    return RunProgram(TABSHIFT_BINARY, arguments, directory_.path());
  }
  std::string LogName(const ProgramResult& result) const {
    return "tabshift." + std::to_string(result.pid) + ".log";
  }
  std::string LogFile(const ProgramResult& result) const {
    return ReadWholeFile(directory_.File(LogName(result)));
  }

  TempDirectory directory_;
};

TEST_F(ProgramTest, NoParametersIsAUsageErrorAndTheLogStays) {
  const ProgramResult result = Run({});
  EXPECT_EQ(result.exit_code, 1);
  const auto console = Lines(result.output, "\n");
  ASSERT_EQ(console.size(), 3u) << result.output;
  EXPECT_TRUE(Matches(console[0], kStamp + R"( \[VERX\] 0\.0\.1\.1)"));
  EXPECT_TRUE(Matches(console[1], kStamp + " \\[LOGX\\] Log file '" + Escaped(LogName(result)) +
                                      "' opened\\.\\.\\."));
  EXPECT_TRUE(Matches(console[2], kStamp + " \\[ERRX\\] Exception: " + Escaped(kUsage)));

  const auto log = Lines(LogFile(result), "\r\n");
  ASSERT_EQ(log.size(), 2u);  // never the version line
  EXPECT_EQ(log[0], console[1]);
  EXPECT_EQ(log[1], console[2]);
}

TEST_F(ProgramTest, EitherKeyMissingOrEmptyIsAUsageError) {
  const std::vector<std::vector<std::string>> cases = {{"iFileName=a.udb"},
                                                       {"oFileName=b.abs"},
                                                       {"iFileName=a.udb", "oFileName="},
                                                       {"iFileName=   ", "oFileName=b.abs"},
                                                       {"iFileName:a.udb", "oFileName=b.abs"}};
  for (const auto& arguments : cases) {
    const ProgramResult result = Run(arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.output.find("[ERRX] Exception: " + kUsage), std::string::npos) << arguments[0];
    EXPECT_TRUE(platform::FileExists(directory_.File(LogName(result))));
  }
}

TEST_F(ProgramTest, ParametersAreLoggedAndTheUnfinishedConverterFails) {
  const ProgramResult result = Run({"-aqtime", "/IFILENAME=\" my source.udb \"",
                                    "-ofilename=target.abs", "iFileName=ignored.udb", "stray"});
  EXPECT_EQ(result.exit_code, 1);
  const auto log = Lines(LogFile(result), "\r\n");
  ASSERT_EQ(log.size(), 6u) << LogFile(result);
  EXPECT_TRUE(Matches(log[1], kStamp + R"( \[LOGX\] Parameters:)"));
  EXPECT_TRUE(Matches(log[2], kStamp + R"( \[LOGX\]   iFileName = my source\.udb)"));
  EXPECT_TRUE(Matches(log[3], kStamp + R"( \[LOGX\]   oFileName = target\.abs)"));
  EXPECT_TRUE(Matches(log[4], kStamp + R"( \[PRGX\] 000)"));
  EXPECT_TRUE(Matches(log[5], kStamp + R"( \[ERRX\] Exception: .+)"));
  EXPECT_EQ(result.output.find("[PRGX] 100"), std::string::npos);
  const auto console = Lines(result.output, "\n");
  ASSERT_EQ(console.size(), 7u);
  for (size_t i = 0; i < log.size(); ++i) EXPECT_EQ(console[i + 1], log[i]);
}

TEST_F(ProgramTest, KeyWithoutSeparatorYieldsTheKeyItself) {
  const ProgramResult result = Run({"iFileName", "oFileName=t.abs"});
  EXPECT_NE(LogFile(result).find("  iFileName = iFileName\r\n"), std::string::npos);
}

TEST_F(ProgramTest, UncreatableLogFileIsReportedOnTheConsole) {
  const std::string gone = directory_.File("gone");
  ASSERT_EQ(mkdir(gone.c_str(), 0755), 0);
  const pid_t child = fork();
  if (child == 0) {
    // Run from a directory that no longer exists, where nothing can be created.
    if (chdir(gone.c_str()) != 0 || rmdir(gone.c_str()) != 0) _exit(126);
    const char* argv[] = {TABSHIFT_BINARY, "iFileName=a", "oFileName=b", nullptr};
    const std::string output = directory_.File("console.txt");
    if (!freopen(output.c_str(), "w", stdout)) _exit(126);
    execv(TABSHIFT_BINARY, const_cast<char**>(argv));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const auto console = Lines(ReadWholeFile(directory_.File("console.txt")), "\n");
  ASSERT_EQ(console.size(), 2u);
  EXPECT_TRUE(Matches(console[1], kStamp + R"( \[ERRX\] EFCreateError: Cannot create file .+)"));
}

}  // namespace
}  // namespace tabshift
