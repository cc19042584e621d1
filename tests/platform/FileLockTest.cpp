#include <gtest/gtest.h>

#include "platform/File.h"
#include "support/ChildProcess.h"
#include "support/TempDirectory.h"

namespace tabshift::platform {
namespace {

using tabshift::testing::RunInChild;
using tabshift::testing::TempDirectory;

File OpenShared(const std::string& path, FileAccess access = FileAccess::ReadWrite) {
  File file;
  EXPECT_TRUE(file.Open(path, access, FileShare::ReadWrite, FileCreation::OpenAlways));
  return file;
}

class FileLockTest : public ::testing::Test {
 protected:
  TempDirectory directory_;
  std::string path_ = directory_.File("locks.dat");
};

TEST_F(FileLockTest, SecondHandleOfSameProcessIsRefusedOverlappingRanges) {
  File first = OpenShared(path_);
  File second = OpenShared(path_);
  ASSERT_TRUE(first.Lock(0x7C00, 1));
  EXPECT_FALSE(second.Lock(0x7C00, 1));
  EXPECT_FALSE(second.Lock(0x7BF0, 0x20));  // overlaps from below
  EXPECT_TRUE(second.Lock(0x7C01, 1));      // adjacent byte is free
  ASSERT_TRUE(first.Unlock(0x7C00, 1));
  EXPECT_TRUE(second.Lock(0x7C00, 1));
}

TEST_F(FileLockTest, SameHandleCannotLockARangeTwice) {
  File file = OpenShared(path_);
  ASSERT_TRUE(file.Lock(100, 10));
  EXPECT_FALSE(file.Lock(105, 1));
  EXPECT_TRUE(file.Lock(110, 1));
}

TEST_F(FileLockTest, UnlockNeedsTheExactRangeThatWasLocked) {
  File file = OpenShared(path_);
  ASSERT_TRUE(file.Lock(100, 10));
  EXPECT_FALSE(file.Unlock(100, 5));
  EXPECT_FALSE(file.Unlock(200, 1));
  EXPECT_TRUE(file.Unlock(100, 10));
  EXPECT_FALSE(file.Unlock(100, 10));
}

TEST_F(FileLockTest, ClosingAHandleReleasesItsLocks) {
  File first = OpenShared(path_);
  File second = OpenShared(path_);
  ASSERT_TRUE(first.Lock(0, 4096));
  first.Close();
  EXPECT_TRUE(second.Lock(0, 4096));
}

TEST_F(FileLockTest, LockHeldByAnotherProcessIsRefusedThereAndFreedOnUnlock) {
  File holder = OpenShared(path_);
  ASSERT_TRUE(holder.Lock(0x7FFF, 1));
  EXPECT_EQ(RunInChild([&] {
              File other = OpenShared(path_);
              return other.Lock(0x7FFF, 1) ? 1 : 0;
            }),
            0);
  ASSERT_TRUE(holder.Unlock(0x7FFF, 1));
  EXPECT_EQ(RunInChild([&] {
              File other = OpenShared(path_);
              return other.Lock(0x7FFF, 1) ? 0 : 1;
            }),
            0);
}

TEST_F(FileLockTest, ParentSeesTheLockOfAChildUntilItEnds) {
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t child = fork();
  if (child == 0) {
    File file = OpenShared(path_);
    const char result = file.Lock(50, 2) ? 'y' : 'n';
    (void)!write(ready[1], &result, 1);
    char ignored;
    (void)!read(release[0], &ignored, 1);
    _exit(0);
  }
  char result = 0;
  ASSERT_EQ(read(ready[0], &result, 1), 1);
  ASSERT_EQ(result, 'y');
  File file = OpenShared(path_);
  EXPECT_FALSE(file.Lock(51, 1));
  (void)!write(release[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(file.Lock(51, 1));
  for (int descriptor : {ready[0], ready[1], release[0], release[1]}) close(descriptor);
}

TEST_F(FileLockTest, ReadOnlyHandleCanLockToo) {
  { File create = OpenShared(path_); }
  File reader = OpenShared(path_, FileAccess::Read);
  File writer = OpenShared(path_);
  ASSERT_TRUE(reader.Lock(10, 1));
  EXPECT_FALSE(writer.Lock(10, 1));
}

TEST_F(FileLockTest, RejectsEmptyAndOverflowingRanges) {
  File file = OpenShared(path_);
  EXPECT_FALSE(file.Lock(0, 0));
  EXPECT_FALSE(file.Lock(UINT64_MAX - 1, 10));
}

}  // namespace
}  // namespace tabshift::platform
