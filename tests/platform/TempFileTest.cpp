#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/FileSystem.h"
#include "platform/TempFile.h"
#include "support/TempDirectory.h"

namespace tabshift::platform {
namespace {

class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    saved_ = old != nullptr ? old : "";
    had_ = old != nullptr;
    setenv("TMPDIR", directory_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_) {
      setenv("TMPDIR", saved_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  tabshift::testing::TempDirectory directory_;
  std::string saved_;
  bool had_ = false;
};

TEST_F(TempFileTest, CreatedWithPrefixInTheTemporaryDirectoryAndGoneWhenClosed) {
  std::string path;
  {
    TempFile file("VOZ");
    ASSERT_TRUE(file.IsOpen());
    path = file.Path();
    EXPECT_EQ(ExtractFilePath(path), directory_.path() + "/");
    EXPECT_EQ(ExtractFileName(path).substr(0, 3), "VOZ");
    EXPECT_EQ(FindFiles(directory_.path(), "VOZ*.tmp").size(), 1u);
    ASSERT_EQ(file.Handle().WriteAt(0, "spill", 5), 5);
    file.Close();
    EXPECT_FALSE(FileExists(path));
  }
  EXPECT_TRUE(FindFiles(directory_.path(), "VOZ*").empty());
}

TEST_F(TempFileTest, GoneAfterAnExceptionUnwindsItsOwner) {
  try {
    TempFile file("VOZ");
    ASSERT_TRUE(file.IsOpen());
    throw std::runtime_error("failure while spilling");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(FindFiles(directory_.path(), "VOZ*").empty());
}

TEST_F(TempFileTest, NamesAreUnique) {
  TempFile first("VOZ");
  TempFile second("VOZ");
  EXPECT_NE(first.Path(), second.Path());
}

TEST_F(TempFileTest, UnusableDirectoryReportsAnError) {
  setenv("TMPDIR", directory_.File("missing").c_str(), 1);
  TempFile file("VOZ");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.LastError(), ENOENT);
}

}  // namespace
}  // namespace tabshift::platform
