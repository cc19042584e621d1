#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/System.h"
#include "support/TempDirectory.h"

namespace tabshift::platform {
namespace {

TEST(FileNameTest, PathPartsAndExtensions) {
  EXPECT_EQ(ExtractFileName("/usr/bin/tabshift"), "tabshift");
  EXPECT_EQ(ExtractFilePath("/usr/bin/tabshift"), "/usr/bin/");
  EXPECT_EQ(ExtractFilePath("tabshift"), "");
  EXPECT_EQ(ChangeFileExt("tabshift.exe", ".4711.log"), "tabshift.4711.log");
  EXPECT_EQ(ChangeFileExt("tabshift", ".4711.log"), "tabshift.4711.log");
  EXPECT_EQ(ChangeFileExt("/a.b/tabshift", ".x"), "/a.b/tabshift.x");
}

TEST(FileSystemTest, FindFilesMatchesPlainFilesOnly) {
  tabshift::testing::TempDirectory directory;
  tabshift::testing::WriteWholeFile(directory.File("00000007.tape"), "");
  tabshift::testing::WriteWholeFile(directory.File("notanumber.tape"), "");
  tabshift::testing::WriteWholeFile(directory.File("other.txt"), "");
  ASSERT_EQ(mkdir(directory.File("dir.tape").c_str(), 0755), 0);
  EXPECT_EQ(FindFiles(directory.path(), "*.tape"),
            (std::vector<std::string>{"00000007.tape", "notanumber.tape"}));
  EXPECT_TRUE(FindFiles(directory.File("missing"), "*").empty());
}

TEST(FileSystemTest, DeleteReportsMissingFiles) {
  tabshift::testing::TempDirectory directory;
  const std::string path = directory.File("x");
  tabshift::testing::WriteWholeFile(path, "1");
  EXPECT_TRUE(DeleteFile(path));
  int error = 0;
  EXPECT_FALSE(DeleteFile(path, &error));
  EXPECT_EQ(error, ENOENT);
}

TEST(SystemTest, ProcessFacts) {
  EXPECT_EQ(ExtractFileName(ExecutablePath()), "platform_tests");
  EXPECT_EQ(ProcessId(), static_cast<uint32_t>(getpid()));
  const MemoryStatus memory = QueryMemoryStatus();
  EXPECT_GT(memory.available_physical, 0u);
  EXPECT_LE(memory.available_physical, memory.total_physical);
  EXPECT_GT(DiskFreeBytes("/"), 0);
  const LocalTime now = CurrentLocalTime();
  EXPECT_GE(now.year, 2020);
  EXPECT_LT(now.hour, 24);
  const uint64_t before = TickCount();
  SleepMilliseconds(5);
  EXPECT_GE(TickCount(), before + 4);
  EXPECT_NE(Random32() ^ Random32(), Random32() ^ Random32());  // not constant
}

TEST(System, GuidTextIsBracedUpperCaseVersion4AndNew) {
  const std::string guid = NewGuidText();
  ASSERT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid.front(), '{');
  EXPECT_EQ(guid.back(), '}');
  for (size_t i : {9u, 14u, 19u, 24u}) EXPECT_EQ(guid[i], '-') << i;
  EXPECT_EQ(guid[15], '4');                                          // version 4
  EXPECT_NE(std::string("89AB").find(guid[20]), std::string::npos);  // the variant bits
  EXPECT_EQ(guid.find_first_not_of("{}-0123456789ABCDEF"), std::string::npos);
  EXPECT_NE(NewGuidText(), guid);
}

}  // namespace
}  // namespace tabshift::platform
