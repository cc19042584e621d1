#include <gtest/gtest.h>

#include <regex>

#include "framework/Exception.h"
#include "logging/smplLogs.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "support/TempDirectory.h"

namespace tabshift {
namespace {

struct LineCase {
  LogLevel level;
  const char* format;
  std::vector<std::string> arguments;
  const char* expected;  // regular expression for the whole line
};

class FormatLineCases : public ::testing::TestWithParam<LineCase> {};

std::string FormatWith(LogLevel level, const char* format, const std::vector<std::string>& args) {
  switch (args.size()) {
    case 0:
      return TSimpleLogger::FormatLine(level, format, {});
    case 1:
      return TSimpleLogger::FormatLine(level, format, {args[0]});
    default:
      return TSimpleLogger::FormatLine(level, format, {args[0], args[1]});
  }
}

TEST_P(FormatLineCases, BuildsTheLine) {
  const LineCase& c = GetParam();
  const std::string line = FormatWith(c.level, c.format, c.arguments);
  EXPECT_TRUE(std::regex_match(line, std::regex(c.expected))) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Levels, FormatLineCases,
    ::testing::Values(LineCase{0, "m", {}, R"(\[\d\d:\d\d:\d\d\] \[DEBX\] m)"},
                      LineCase{1, "m", {}, R"(\[\d\d:\d\d:\d\d\] \[LOGX\] m)"},
                      LineCase{2, "000", {}, R"(\[\d\d:\d\d:\d\d\] \[PRGX\] 000)"},
                      LineCase{3, "m", {}, R"(\[\d\d:\d\d:\d\d\] \[WRNX\] m)"},
                      LineCase{4,
                               "%s: %s",
                               {"Exception", "boom"},
                               R"(\[\d\d:\d\d:\d\d\] \[ERRX\] Exception: boom)"},
                      LineCase{5, "0.0.1.1", {}, R"(\[\d\d:\d\d:\d\d\] \[VERX\] 0\.0\.1\.1)"},
                      LineCase{6, "bare", {}, "bare"}, LineCase{7, "bare %s", {"x"}, "bare x"},
                      LineCase{1, "100%d", {}, R"(\[\d\d:\d\d:\d\d\] \[LOGX\] 100%d)"},
                      LineCase{1,
                               "  iFileName = %s",
                               {"a b.udb"},
                               R"(\[\d\d:\d\d:\d\d\] \[LOGX\]   iFileName = a b\.udb)"}));

TEST(FormatLineTest, TooFewArgumentsRaiseInsteadOfReadingGarbage) {
  EXPECT_THROW(TSimpleLogger::FormatLine(1, "%s %s", {"one"}), EConvertError);
}

class LogFileTest : public ::testing::Test {
 protected:
  testing::TempDirectory directory_;
  std::string path_ = directory_.File("run.1.log");
};

TEST_F(LogFileTest, LinesReachConsoleAndFileWithCrLf) {
  ::testing::internal::CaptureStdout();
  TSimpleLogger::OpenLog(path_);
  Log(kLogInfo, "line %d", {7});
  const std::string file_while_open = testing::ReadWholeFile(path_);
  TSimpleLogger::CloseLog();
  const std::string console = ::testing::internal::GetCapturedStdout();

  const std::regex expected_file(
      R"(\[\d\d:\d\d:\d\d\] \[LOGX\] Log file '.*run\.1\.log' opened\.\.\.\r\n)"
      R"(\[\d\d:\d\d:\d\d\] \[LOGX\] line 7\r\n)");
  EXPECT_TRUE(std::regex_match(file_while_open, expected_file)) << file_while_open;
  const std::regex expected_console(
      R"(\[\d\d:\d\d:\d\d\] \[LOGX\] Log file '.*run\.1\.log' opened\.\.\.\n)"
      R"(\[\d\d:\d\d:\d\d\] \[LOGX\] line 7\n)"
      R"(\[\d\d:\d\d:\d\d\] \[LOGX\] Log file '.*run\.1\.log' deleted\n)");
  EXPECT_TRUE(std::regex_match(console, expected_console)) << console;
  EXPECT_FALSE(platform::FileExists(path_));
  EXPECT_EQ(TSimpleLogger::FileName(), "");
}

TEST_F(LogFileTest, OpeningTruncatesAnExistingFile) {
  testing::WriteWholeFile(path_, std::string(1000, 'x'));
  ::testing::internal::CaptureStdout();
  TSimpleLogger::OpenLog(path_);
  const std::string content = testing::ReadWholeFile(path_);
  TSimpleLogger::CloseLog();
  ::testing::internal::GetCapturedStdout();
  // Only the opening line is left; the directory name itself may contain an 'x'.
  EXPECT_EQ(content.front(), '[');
  EXPECT_EQ(content.find("xxxx"), std::string::npos);
}

TEST_F(LogFileTest, OtherWritersAreKeptOutReadersLetIn) {
  ::testing::internal::CaptureStdout();
  TSimpleLogger::OpenLog(path_);
  platform::File reader;
  platform::File writer;
  const bool reader_opened =
      reader.Open(path_, platform::FileAccess::Read, platform::FileShare::ReadWrite,
                  platform::FileCreation::OpenExisting);
  const bool writer_opened =
      writer.Open(path_, platform::FileAccess::Write, platform::FileShare::ReadWrite,
                  platform::FileCreation::OpenExisting);
  reader.Close();
  TSimpleLogger::CloseLog();
  ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(reader_opened);
  EXPECT_FALSE(writer_opened);
}

TEST_F(LogFileTest, UncreatableFileRaisesAndLeavesNoLogOpen) {
  ::testing::internal::CaptureStdout();
  EXPECT_THROW(TSimpleLogger::OpenLog(directory_.File("missing/run.log")), EFCreateError);
  Log(kLogInfo, "after");
  const std::string console = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(console.find("after"), std::string::npos);
}

}  // namespace
}  // namespace tabshift
