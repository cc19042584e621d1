#include "engine/core/ABSStreams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"
#include "platform/FileSystem.h"
#include "support/TempDirectory.h"

namespace tabshift {
namespace {

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

std::vector<uint8_t> ReadAll(TStream& stream) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
  stream.SetPosition(0);
  if (!bytes.empty()) {
    EXPECT_EQ(stream.Read(bytes.data(), bytes.size()), bytes.size());
  }
  return bytes;
}

TEST(MemoryStreamTest, GrowsToTwiceTheRequestAndFillsGapsWithZeros) {
  const int64_t before = MemoryManager().BytesInUse();
  {
    TABSMemoryStream stream;
    const auto data = Pattern(100);
    EXPECT_EQ(stream.Write(data.data(), 100), 100u);
    EXPECT_EQ(stream.Capacity(), 200);
    stream.Seek(50, SeekOrigin::End);
    EXPECT_EQ(stream.Write(data.data(), 10), 10u);
    EXPECT_EQ(stream.Size(), 160);
    const auto all = ReadAll(stream);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), all.begin()));
    EXPECT_EQ(std::count(all.begin() + 100, all.begin() + 150, 0), 50);
    EXPECT_EQ(all[150], data[0]);

    stream.SetPosition(160);
    stream.SetSize(120);
    EXPECT_EQ(stream.Position(), 120);
    stream.SetSize(0);
    EXPECT_EQ(stream.Capacity(), 0);
    EXPECT_EQ(MemoryManager().BytesInUse(), before);
    uint8_t byte;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), before);
}

TEST(MemoryStreamTest, AdoptsABlockAsItsContents) {
  TABSMemoryBlock block(5);
  std::memcpy(block.data(), "hello", 5);
  TABSMemoryStream stream(std::move(block));
  EXPECT_EQ(stream.Size(), 5);
  char text[5];
  EXPECT_EQ(stream.Read(text, 5), 5u);
  EXPECT_EQ(std::string(text, 5), "hello");
  TABSMemoryStream sized(1048576);
  EXPECT_EQ(sized.Size(), 0);
  EXPECT_EQ(sized.Capacity(), 1048576);
}

TEST(MemoryStreamTest, RefusesToGrowBeyondOneBlock) {
  TABSMemoryStream stream;
  stream.Seek(int64_t(1) << 62, SeekOrigin::Beginning);
  EXPECT_ENGINE_CODE(stream.Write("x", 1), 30015);
  EXPECT_ENGINE_CODE(stream.SetSize(int64_t(1) << 40), 30015);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(FileStreamTest, CreatesOpensAndRefusesWithTheEngineErrors) {
  testing::TempDirectory directory;
  const std::string name = directory.File("data.bin");
  {
    TABSFileStream created(name, file_mode::kCreate);
    EXPECT_EQ(created.Write("abcdef", 6), 6u);
    EXPECT_ENGINE_ERROR(
        TABSFileStream(name, file_mode::kOpenRead | file_mode::kShareDenyNone), 10105,
        "Cannot open file. FileName = " + name + ", Mode = 64 - Native error: 10105");
  }
  TABSFileStream reader(name, file_mode::kOpenRead | file_mode::kShareDenyWrite);
  EXPECT_EQ(reader.Size(), 6);
  reader.SetPosition(2);
  char text[4];
  EXPECT_EQ(reader.Read(text, 4), 4u);
  EXPECT_EQ(std::string(text, 4), "cdef");
  EXPECT_EQ(reader.Write("x", 1), 0u);
  TABSFileStream second_reader(name, file_mode::kOpenRead | file_mode::kShareDenyWrite);
  EXPECT_EQ(second_reader.Size(), 6);

  EXPECT_ENGINE_CODE(TABSFileStream(directory.File("missing"), file_mode::kOpenReadWrite), 10105);
  EXPECT_ENGINE_ERROR(
      TABSFileStream(directory.File("no/such/dir"), file_mode::kCreate), 10104,
      "Cannot create file. FileName = " + directory.File("no/such/dir") + " - Native error: 10104");
}

TEST(FileStreamTest, TemporaryFileIsNamedVozAndGoneWhenFreed) {
  std::string name;
  {
    auto stream = TABSFileStream::CreateTemporary();
    name = stream->FileName();
    EXPECT_TRUE(stream->IsTemporary());
    EXPECT_EQ(platform::ExtractFilePath(name), platform::TemporaryDirectory());
    EXPECT_EQ(platform::ExtractFileName(name).substr(0, 3), "VOZ");
    EXPECT_TRUE(platform::FileExists(name));
    EXPECT_EQ(stream->Write("12345", 5), 5u);
    stream->SetSize(2);
    EXPECT_EQ(stream->Size(), 2);
  }
  EXPECT_FALSE(platform::FileExists(name));
}

TEST(TemporaryStreamTest, MovesToAFileAtTheFirstWritePastOneMegabyte) {
  const auto data = Pattern(1048576 + 100);
  std::string file_name;
  {
    TABSTemporaryStream stream;
    EXPECT_EQ(stream.Write(data.data(), 1048576), 1048576u);
    EXPECT_TRUE(stream.InMemory());
    stream.Seek(-10, SeekOrigin::End);
    EXPECT_EQ(stream.Write(data.data() + 1048566, 10), 10u);  // stays within 1 MB
    EXPECT_TRUE(stream.InMemory());
    EXPECT_EQ(stream.Write(data.data() + 1048576, 100), 100u);
    EXPECT_FALSE(stream.InMemory());
    file_name = stream.FileName();
    EXPECT_TRUE(platform::FileExists(file_name));
    EXPECT_EQ(stream.Position(), 1048676);
    EXPECT_EQ(ReadAll(stream), data);
  }
  EXPECT_FALSE(platform::FileExists(file_name));
}

TEST(TemporaryStreamTest, MemoryOnlyStreamNeverCreatesAFile) {
  const auto data = Pattern(3 * 1048576);
  TABSTemporaryStream stream(true);
  EXPECT_EQ(stream.Write(data.data(), data.size()), data.size());
  EXPECT_TRUE(stream.InMemory());
  EXPECT_EQ(stream.FileName(), "");
  EXPECT_EQ(ReadAll(stream), data);
}

TEST(StreamCopyTest, CopiesInChunksReportingProgressAndRestoresPositions) {
  const auto data = Pattern(1000);
  TABSMemoryStream source;
  source.Write(data.data(), data.size());
  source.SetPosition(17);
  TABSMemoryStream destination;
  destination.Write("head", 4);
  std::vector<int> progress;
  source.SetCopyBlockSize(300);
  source.SetOnProgress([&](int percent) { progress.push_back(percent); });
  source.CopyToStream(destination);
  EXPECT_EQ(progress, (std::vector<int>{0, 30, 60, 90, 100}));
  EXPECT_EQ(source.Position(), 17);
  EXPECT_EQ(destination.Position(), 4);
  const auto copied = ReadAll(destination);
  ASSERT_EQ(copied.size(), 1004u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), copied.begin() + 4));

  TABSMemoryStream part;
  part.CopyFromStream(source, 990, 10);
  EXPECT_EQ(ReadAll(part), std::vector<uint8_t>(data.begin() + 990, data.end()));
  EXPECT_ENGINE_CODE(part.CopyFromStream(source, 995, 10), 10146);
  part.SetCopyBlockSize(0);
  EXPECT_ENGINE_ERROR(part.CopyFromStream(source, 0, 10), 10418,
                      "Stream block size = 0 is not allowed - Native error: 10418");
}

}  // namespace
}  // namespace tabshift
