#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>

#include "platform/FileView.h"
#include "support/ChildProcess.h"
#include "support/TempDirectory.h"

namespace tabshift::platform {
namespace {

using tabshift::testing::RunInChild;
using tabshift::testing::TempDirectory;

constexpr size_t kFileSize = 3 * 4096;

class FileViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string content(kFileSize, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);
    tabshift::testing::WriteWholeFile(path_, content);
    ASSERT_TRUE(
        file_.Open(path_, FileAccess::Read, FileShare::ReadWrite, FileCreation::OpenExisting));
  }

  // Changes the file from another process, as another user of a shared file would.
  void InChild(const std::function<bool(File&)>& change) {
    const int status = RunInChild([&] {
      File other;
      if (!other.Open(path_, FileAccess::ReadWrite, FileShare::ReadWrite,
                      FileCreation::OpenExisting)) {
        return 1;
      }
      return change(other) ? 0 : 2;
    });
    ASSERT_EQ(status, 0);
  }

  TempDirectory directory_;
  std::string path_ = directory_.File("view.dat");
  File file_;
};

TEST_F(FileViewTest, ReadsTheRangeAndSeesAnotherProcessWrites) {
  FileView view;
  ASSERT_TRUE(view.Map(file_, 1000, 5000));  // an offset that is not page-aligned
  char bytes[8] = {};
  ASSERT_TRUE(view.Read(1000, bytes, sizeof bytes));
  EXPECT_EQ(bytes[0], static_cast<char>(1000 % 251));
  ASSERT_TRUE(view.Read(5992, bytes, sizeof bytes));
  EXPECT_EQ(bytes[7], static_cast<char>(5999 % 251));
  EXPECT_FALSE(view.Read(999, bytes, 2));   // starts before the view
  EXPECT_FALSE(view.Read(5995, bytes, 8));  // runs past its end
  InChild([](File& other) { return other.WriteAt(4096, "changed", 7) == 7; });
  ASSERT_TRUE(view.Read(4096, bytes, 7));
  EXPECT_EQ(std::string(bytes, 7), "changed");
}

TEST_F(FileViewTest, BytesCutOffByAnotherProcessFailToReadInsteadOfCrashing) {
  FileView view;
  ASSERT_TRUE(view.Map(file_, 0, kFileSize));
  InChild([](File& other) { return other.SetSize(4096 + 100); });
  char bytes[16] = {};
  EXPECT_TRUE(view.Read(0, bytes, sizeof bytes));
  EXPECT_FALSE(view.Read(2 * 4096, bytes, sizeof bytes));      // a page wholly beyond the end
  EXPECT_FALSE(view.Read(2 * 4096 - 8, bytes, sizeof bytes));  // a copy running into it
  ASSERT_TRUE(view.Read(4096 + 96, bytes, 8));  // past the end inside the last page: zeros
  EXPECT_EQ(std::string(bytes, 8), std::string("\xb0\xb1\xb2\xb3", 4) + std::string(4, '\0'));
  InChild([](File& other) { return other.SetSize(kFileSize); });
  EXPECT_TRUE(view.Read(2 * 4096, bytes, sizeof bytes));
  EXPECT_EQ(bytes[0], 0);  // the file grew again with zeros
}

TEST_F(FileViewTest, ABusErrorOutsideAViewReadStillEndsTheProcess) {
  const int status = RunInChild([&] {
    FileView view;
    if (!view.Map(file_, 0, kFileSize)) return 0;
    std::raise(SIGBUS);
    return 0;
  });
  EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace tabshift::platform
