#include <gtest/gtest.h>

#include "framework/Exception.h"
#include "framework/Stream.h"
#include "support/TempDirectory.h"

namespace tabshift {
namespace {

using platform::FileAccess;
using platform::FileCreation;
using platform::FileShare;

TEST(MemoryStreamTest, ReadWriteSeekAndSize) {
  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  EXPECT_EQ(stream.Size(), 6);
  EXPECT_EQ(stream.Seek(-2, SeekOrigin::End), 4);
  char buffer[4] = {};
  EXPECT_EQ(stream.Read(buffer, 4), 2u);
  EXPECT_EQ(std::string(buffer, 2), "ef");
  stream.SetPosition(1);
  stream.WriteBuffer("XY", 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 6), "aXYdef");
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);
}

TEST(MemoryStreamTest, CopyFromWholeStream) {
  TMemoryStream source;
  source.WriteBuffer("payload", 7);
  TMemoryStream target;
  EXPECT_EQ(target.CopyFrom(source, 0), 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.Memory()), 7), "payload");
}

TEST(FileStreamTest, WritesAndReadsBack) {
  testing::TempDirectory directory;
  const std::string path = directory.File("f.bin");
  {
    TFileStream stream(path, FileAccess::ReadWrite, FileShare::Read, FileCreation::CreateAlways);
    stream.WriteBuffer("12345", 5);
    EXPECT_EQ(stream.Size(), 5);
    stream.SetPosition(0);
    char buffer[5];
    stream.ReadBuffer(buffer, 5);
    EXPECT_EQ(std::string(buffer, 5), "12345");
    EXPECT_TRUE(stream.Flush());
  }
  EXPECT_EQ(testing::ReadWholeFile(path), "12345");
}

TEST(FileStreamTest, FailuresRaiseCreateAndOpenErrors) {
  testing::TempDirectory directory;
  const std::string missing = directory.File("no/such/file");
  EXPECT_THROW(TFileStream(missing, FileAccess::Write, FileShare::Read, FileCreation::CreateAlways),
               EFCreateError);
  try {
    TFileStream stream(missing, FileAccess::Read, FileShare::Read, FileCreation::OpenExisting);
    FAIL();
  } catch (const EFOpenError& error) {
    EXPECT_EQ(error.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
  }
}

}  // namespace
}  // namespace tabshift
