#include <gtest/gtest.h>

#include "platform/File.h"
#include "support/ChildProcess.h"
#include "support/TempDirectory.h"

namespace tabshift::platform {
namespace {

using tabshift::testing::RunInChild;
using tabshift::testing::TempDirectory;

struct ShareCase {
  const char* name;
  FileAccess first_access;
  FileShare first_share;
  FileAccess second_access;
  FileShare second_share;
  bool second_opens;
};

class FileShareTest : public ::testing::TestWithParam<ShareCase> {
 protected:
  TempDirectory directory_;
  std::string path_ = directory_.File("shared.dat");
};

TEST_P(FileShareTest, SecondOpenerRespectsTheFirst) {
  const ShareCase& c = GetParam();
  File first;
  ASSERT_TRUE(first.Open(path_, c.first_access, c.first_share, FileCreation::OpenAlways));
  File second;
  EXPECT_EQ(second.Open(path_, c.second_access, c.second_share, FileCreation::OpenExisting),
            c.second_opens);
  if (!c.second_opens) {
    EXPECT_EQ(second.LastError(), kSharingViolation);
  }
}

TEST_P(FileShareTest, AnotherProcessRespectsTheFirstToo) {
  const ShareCase& c = GetParam();
  File first;
  ASSERT_TRUE(first.Open(path_, c.first_access, c.first_share, FileCreation::OpenAlways));
  const int opened = RunInChild([&] {
    File second;
    return second.Open(path_, c.second_access, c.second_share, FileCreation::OpenExisting) ? 1 : 0;
  });
  EXPECT_EQ(opened, c.second_opens ? 1 : 0);
}

constexpr auto R = FileAccess::Read;
constexpr auto W = FileAccess::Write;
constexpr auto RW = FileAccess::ReadWrite;

INSTANTIATE_TEST_SUITE_P(
    Modes, FileShareTest,
    ::testing::Values(
        ShareCase{"ShareAllThenShareAll", RW, FileShare::ReadWrite, RW, FileShare::ReadWrite, true},
        ShareCase{"ExclusiveKeepsReadersOut", RW, FileShare::None, R, FileShare::ReadWrite, false},
        ShareCase{"DenyWriteLetsReadersIn", RW, FileShare::Read, R, FileShare::ReadWrite, true},
        ShareCase{"DenyWriteKeepsWritersOut", RW, FileShare::Read, RW, FileShare::ReadWrite, false},
        ShareCase{"WriterBlocksDenyWriteOpener", RW, FileShare::ReadWrite, R, FileShare::Read,
                  false},
        ShareCase{"ReaderBlocksExclusiveOpener", R, FileShare::ReadWrite, RW, FileShare::None,
                  false},
        ShareCase{"ReadersMayDenyWriteTogether", R, FileShare::Read, R, FileShare::Read, true},
        ShareCase{"LogFileStyleLetsReaderIn", W, FileShare::Read, R, FileShare::ReadWrite, true},
        ShareCase{"LogFileStyleKeepsWriterOut", W, FileShare::Read, W, FileShare::ReadWrite,
                  false}),
    [](const ::testing::TestParamInfo<ShareCase>& info) { return info.param.name; });

class FileTest : public ::testing::Test {
 protected:
  TempDirectory directory_;
  std::string path_ = directory_.File("data.dat");
};

TEST_F(FileTest, RefusedOpenDoesNotTruncate) {
  File first;
  ASSERT_TRUE(first.Open(path_, RW, FileShare::None, FileCreation::CreateAlways));
  ASSERT_EQ(first.WriteAt(0, "abc", 3), 3);
  File second;
  EXPECT_FALSE(second.Open(path_, RW, FileShare::ReadWrite, FileCreation::CreateAlways));
  EXPECT_EQ(first.Size(), 3);
}

TEST_F(FileTest, ClosingReleasesTheSharingClaim) {
  File first;
  ASSERT_TRUE(first.Open(path_, RW, FileShare::None, FileCreation::CreateAlways));
  first.Close();
  File second;
  EXPECT_TRUE(second.Open(path_, RW, FileShare::None, FileCreation::OpenExisting));
}

TEST_F(FileTest, PositionalReadWriteSizeAndTruncate) {
  File file;
  ASSERT_TRUE(file.Open(path_, RW, FileShare::ReadWrite, FileCreation::CreateNew));
  ASSERT_EQ(file.WriteAt(10, "hello", 5), 5);
  EXPECT_EQ(file.Size(), 15);
  char buffer[8] = {};
  EXPECT_EQ(file.ReadAt(12, buffer, sizeof buffer), 3);  // short read at the end
  EXPECT_EQ(std::string(buffer, 3), "llo");
  EXPECT_EQ(file.ReadAt(0, buffer, 2), 2);
  EXPECT_EQ(buffer[0], 0);  // the gap reads as zeros
  ASSERT_TRUE(file.SetSize(4));
  EXPECT_EQ(file.Size(), 4);
  EXPECT_TRUE(file.Flush());
}

TEST_F(FileTest, ReadOnlyHandleRefusesWrites) {
  {
    File create;
    ASSERT_TRUE(create.Open(path_, RW, FileShare::ReadWrite, FileCreation::CreateNew));
  }
  File file;
  ASSERT_TRUE(file.Open(path_, R, FileShare::ReadWrite, FileCreation::OpenExisting));
  EXPECT_EQ(file.WriteAt(0, "x", 1), -1);
  EXPECT_FALSE(file.SetSize(10));
}

TEST_F(FileTest, CreationDispositions) {
  File file;
  EXPECT_FALSE(file.Open(path_, RW, FileShare::ReadWrite, FileCreation::OpenExisting));
  EXPECT_EQ(file.LastError(), ENOENT);
  ASSERT_TRUE(file.Open(path_, RW, FileShare::ReadWrite, FileCreation::CreateNew));
  ASSERT_EQ(file.WriteAt(0, "data", 4), 4);
  file.Close();
  EXPECT_FALSE(file.Open(path_, RW, FileShare::ReadWrite, FileCreation::CreateNew));
  EXPECT_EQ(file.LastError(), EEXIST);
  ASSERT_TRUE(file.Open(path_, RW, FileShare::ReadWrite, FileCreation::OpenAlways));
  EXPECT_EQ(file.Size(), 4);
  ASSERT_TRUE(file.Open(path_, RW, FileShare::ReadWrite, FileCreation::TruncateExisting));
  EXPECT_EQ(file.Size(), 0);
  EXPECT_FALSE(file.Open(directory_.path(), RW, FileShare::ReadWrite, FileCreation::OpenExisting));
  EXPECT_EQ(file.LastError(), EISDIR);
}

}  // namespace
}  // namespace tabshift::platform
