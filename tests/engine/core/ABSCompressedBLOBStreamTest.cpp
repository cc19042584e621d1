#include "engine/core/ABSCompressedBLOBStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/core/BlobTestData.h"
#include "engine/core/EngineErrorMatchers.h"

namespace tabshift {
namespace {

using testing::CompressibleBytes;
using testing::NoiseBytes;

TABSBLOBDescriptor NewDescriptor(uint8_t algorithm, uint8_t mode, int32_t block_size) {
  TABSBLOBDescriptor descriptor;
  descriptor.block_size = block_size;
  descriptor.compression_algorithm = algorithm;
  descriptor.compression_mode = mode;
  return descriptor;
}

std::vector<uint8_t> ReadAll(TStream& stream, size_t chunk = 1 << 30) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
  stream.SetPosition(0);
  for (size_t done = 0; done < bytes.size();) {
    const size_t read = stream.Read(bytes.data() + done, std::min(chunk, bytes.size() - done));
    EXPECT_GT(read, 0u);
    if (read == 0) break;
    done += read;
  }
  return bytes;
}

std::vector<uint8_t> Contents(TABSMemoryStream& stream) {
  return std::vector<uint8_t>(stream.Memory(), stream.Memory() + stream.Size());
}

TABSCompressedStreamBlockHeader HeaderAt(const std::vector<uint8_t>& stored, int64_t position) {
  return TABSCompressedStreamBlockHeader::Decode(stored.data() + position);
}

// The 250000-byte BLOB with zlib mode 6 and the field block size 102400.
class BlobExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_ = CompressibleBytes(250000);
    TABSCompressedBLOBStream blob(stored_, true, NewDescriptor(1, 6, 102400));
    ASSERT_EQ(blob.Write(data_.data(), data_.size()), data_.size());
    descriptor_ = blob.Descriptor();
  }

  std::unique_ptr<TABSCompressedBLOBStream> Reopen() {
    return std::make_unique<TABSCompressedBLOBStream>(stored_, false, descriptor_);
  }

  std::vector<uint8_t> data_;
  TABSMemoryStream stored_;
  TABSBLOBDescriptor descriptor_;
};

TEST_F(BlobExampleTest, StoredAsThreeBlocksBehindTheirHeaders) {
  EXPECT_EQ(descriptor_.block_count, 3);
  EXPECT_EQ(descriptor_.blob_size, 250000);
  const auto stored = Contents(stored_);
  const int32_t sizes[3] = {102400, 102400, 45200};
  int64_t position = 0;
  for (const int32_t size : sizes) {
    const auto header = HeaderAt(stored, position);
    EXPECT_EQ(header.uncompressed_size, size);
    EXPECT_EQ(header.offset_to_next_header, 20 + header.compressed_size);
    position += header.offset_to_next_header;
  }
  EXPECT_EQ(position, int64_t(stored.size()));

  auto blob = Reopen();
  EXPECT_EQ(blob->Size(), 250000);
  EXPECT_EQ(blob->StoredSize(), int64_t(stored.size()));
  EXPECT_GT(blob->CompressionRatio(), 50.0);
  EXPECT_EQ(ReadAll(*blob, 33333), data_);
}

TEST_F(BlobExampleTest, AppendRewritesOnlyTheThirdBlock) {
  const auto before = Contents(stored_);
  const int64_t third =
      HeaderAt(before, 0).offset_to_next_header +
      HeaderAt(before, HeaderAt(before, 0).offset_to_next_header).offset_to_next_header;
  auto blob = Reopen();
  blob->Seek(0, SeekOrigin::End);
  const auto extra = NoiseBytes(10);
  EXPECT_EQ(blob->Write(extra.data(), 10), 10u);
  EXPECT_EQ(blob->Descriptor().block_count, 3);
  EXPECT_EQ(blob->Descriptor().blob_size, 250010);

  const auto after = Contents(stored_);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + third, after.begin()));
  EXPECT_EQ(HeaderAt(after, third).uncompressed_size, 45210);
  EXPECT_EQ(int64_t(after.size()), third + HeaderAt(after, third).offset_to_next_header);
  auto expected = data_;
  expected.insert(expected.end(), extra.begin(), extra.end());
  EXPECT_EQ(ReadAll(*blob), expected);
}

TEST_F(BlobExampleTest, TruncateKeepsOneRecompressedBlockAndCutsTheRest) {
  auto blob = Reopen();
  blob->SetPosition(200000);
  blob->SetSize(100000);
  EXPECT_EQ(blob->Position(), 100000);
  EXPECT_EQ(blob->Descriptor().block_count, 1);
  const auto stored = Contents(stored_);
  const auto header = HeaderAt(stored, 0);
  EXPECT_EQ(header.uncompressed_size, 100000);
  EXPECT_EQ(int64_t(stored.size()), 20 + header.compressed_size);
  EXPECT_EQ(ReadAll(*blob), std::vector<uint8_t>(data_.begin(), data_.begin() + 100000));
  auto reopened = std::make_unique<TABSCompressedBLOBStream>(stored_, false, blob->Descriptor());
  EXPECT_EQ(reopened->Size(), 100000);
}

TEST_F(BlobExampleTest, TruncateToWholeBlocksOnlyDropsBlocksAndLaterAppendsReuseTheSpace) {
  auto blob = Reopen();
  const int64_t stored_before = stored_.Size();
  blob->SetSize(204800);
  EXPECT_EQ(blob->Descriptor().block_count, 2);
  EXPECT_EQ(stored_.Size(), stored_before);
  blob->Seek(0, SeekOrigin::End);
  const auto tail = CompressibleBytes(5000, 9);
  blob->Write(tail.data(), tail.size());
  auto expected = std::vector<uint8_t>(data_.begin(), data_.begin() + 204800);
  expected.insert(expected.end(), tail.begin(), tail.end());
  auto reopened = std::make_unique<TABSCompressedBLOBStream>(stored_, false, blob->Descriptor());
  EXPECT_EQ(ReadAll(*reopened), expected);
}

TEST_F(BlobExampleTest, WriteBeforeTheEndWritesNothing) {
  TABSMemoryStream stored;
  TABSCompressedBLOBStream blob(stored, true, NewDescriptor(1, 1, 0));
  blob.Write(data_.data(), 100);
  const int64_t stored_size = stored.Size();
  blob.SetPosition(5);
  EXPECT_EQ(blob.Write(data_.data(), 10), 0u);
  EXPECT_EQ(blob.Size(), 100);
  EXPECT_EQ(stored.Size(), stored_size);
  EXPECT_EQ(blob.Descriptor().block_size, 524288);
}

TEST_F(BlobExampleTest, WritingPastTheEndAndGrowingFillWithZeros) {
  TABSMemoryStream stored;
  TABSCompressedBLOBStream blob(stored, true, NewDescriptor(2, 1, 1000));
  blob.SetPosition(2500);
  blob.Write("xy", 2);
  EXPECT_EQ(blob.Size(), 2502);
  blob.SetSize(4000);
  EXPECT_EQ(blob.Descriptor().block_count, 4);
  std::vector<uint8_t> expected(4000, 0);
  expected[2500] = 'x';
  expected[2501] = 'y';
  EXPECT_EQ(ReadAll(blob, 777), expected);
}

TEST_F(BlobExampleTest, DamagedChecksumFailsOnTheFirstReadThatTouchesTheBlock) {
  const auto stored = Contents(stored_);
  const int64_t second = HeaderAt(stored, 0).offset_to_next_header;
  stored_.Memory()[second + 8] ^= 0x01;  // the stored checksum of block 2
  auto blob = Reopen();
  std::vector<uint8_t> buffer(102400);
  EXPECT_EQ(blob->Read(buffer.data(), 102400), 102400u);
  EXPECT_EQ(blob->Read(buffer.data(), 0), 0u);
  EXPECT_ENGINE_CODE(blob->Read(buffer.data(), 1), 10089);
  blob->SetPosition(204800);
  EXPECT_EQ(blob->Read(buffer.data(), 45200), 45200u);
}

struct CodecSize {
  uint8_t algorithm;
  int64_t size;
};

class BlobRoundTrip : public ::testing::TestWithParam<CodecSize> {};

TEST_P(BlobRoundTrip, ReadsBackWhatWasWritten) {
  constexpr int32_t kBlockSize = 102400;
  const auto [algorithm, size] = GetParam();
  const auto data = CompressibleBytes(size_t(size), uint32_t(size));
  const int64_t memory_before = MemoryManager().BytesInUse();
  {
    TABSTemporaryStream stored;
    TABSBLOBDescriptor descriptor;
    {
      TABSCompressedBLOBStream blob(stored, true, NewDescriptor(algorithm, 1, kBlockSize));
      // Several pieces for the small sizes, so that the partial last block is rewritten.
      const size_t piece = size < 3 * kBlockSize ? 40000 : data.size();
      for (size_t done = 0; done < data.size(); done += piece) {
        const size_t part = std::min(piece, data.size() - done);
        ASSERT_EQ(blob.Write(data.data() + done, part), part);
      }
      descriptor = blob.Descriptor();
      EXPECT_EQ(descriptor.block_count, (size + kBlockSize - 1) / kBlockSize);
    }
    TABSCompressedBLOBStream reopened(stored, false, descriptor);
    EXPECT_EQ(reopened.Size(), size);
    EXPECT_EQ(ReadAll(reopened, 65536), data);
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), memory_before);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlobRoundTrip,
                         ::testing::Values(CodecSize{1, 0}, CodecSize{1, 1}, CodecSize{1, 102399},
                                           CodecSize{1, 102400}, CodecSize{1, 102401},
                                           CodecSize{1, 3000000}, CodecSize{2, 0}, CodecSize{2, 1},
                                           CodecSize{2, 102399}, CodecSize{2, 102400},
                                           CodecSize{2, 102401}, CodecSize{2, 3000000}));

TEST(UncompressedBlobTest, StoredBytesAreTheContents) {
  TABSMemoryStream stored;
  stored.Write("prefix", 6);
  TABSBLOBDescriptor descriptor = NewDescriptor(0, 0, 0);
  descriptor.start_position = 6;
  const auto data = CompressibleBytes(5000);
  {
    TABSCompressedBLOBStream blob(stored, true, descriptor);
    EXPECT_EQ(blob.Write(data.data(), data.size()), data.size());
    EXPECT_EQ(blob.Descriptor().block_count, 0);
    EXPECT_EQ(blob.CompressionRatio(), 0);
    descriptor = blob.Descriptor();
  }
  const auto contents = Contents(stored);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), contents.begin() + 6));
  TABSCompressedBLOBStream blob(stored, false, descriptor);
  EXPECT_EQ(ReadAll(blob), data);
  blob.SetSize(100);
  EXPECT_EQ(stored.Size(), 106);

  descriptor.blob_size = 101;
  EXPECT_ENGINE_ERROR(TABSCompressedBLOBStream(stored, false, descriptor), 10081,
                      "Stream size = 106 too small. Should be at least = 107 - Native error: "
                      "10081");
}

TEST(PpmBlobTest, WritingNeedsTheMissingCodec) {
  TABSMemoryStream stored;
  TABSCompressedBLOBStream blob(stored, true, NewDescriptor(3, 5, 0));
  EXPECT_ENGINE_CODE(blob.Write("abc", 3), 10109);
  EXPECT_EQ(blob.Size(), 0);
  EXPECT_EQ(blob.Descriptor().block_count, 0);
}

// Damage to a stored three-block BLOB, and the error that must come from opening or reading.
struct Damage {
  const char* name;
  int64_t offset;  // from the start of block `block`'s header; negative: cut there instead
  int block;
  int32_t value;  // written as 4 bytes
  int64_t block_count_delta;
  int32_t code;
};

constexpr int64_t kUndamaged = 1 << 30;

class DamagedBlobTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedBlobTest, EndsInTheCodedError) {
  const Damage& damage = GetParam();
  TABSMemoryStream stored;
  TABSBLOBDescriptor descriptor;
  const auto data = CompressibleBytes(10000);
  {
    TABSCompressedBLOBStream blob(stored, true, NewDescriptor(1, 6, 4096));
    blob.Write(data.data(), data.size());
    descriptor = blob.Descriptor();
  }
  int64_t header = 0;
  for (int i = 0; i < damage.block; ++i) {
    header += HeaderAt(Contents(stored), header).offset_to_next_header;
  }
  if (damage.offset < 0) {
    stored.SetSize(header - damage.offset);
  } else if (damage.offset != kUndamaged) {
    std::memcpy(stored.Memory() + header + damage.offset, &damage.value, 4);
  }
  descriptor.block_count += damage.block_count_delta;
  const int64_t memory_before = MemoryManager().BytesInUse();
  try {
    TABSCompressedBLOBStream blob(stored, false, descriptor);
    ReadAll(blob);
    ADD_FAILURE() << damage.name << ": no error";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), damage.code) << damage.name << ": " << error.Message();
  }
  EXPECT_EQ(MemoryManager().BytesInUse(), memory_before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedBlobTest,
    ::testing::Values(Damage{"negative compressed length", 0, 1, -5, 0, 10084},
                      Damage{"compressed length past the end", 0, 2, 1 << 30, 0, 10082},
                      Damage{"huge uncompressed length", 4, 0, 0x7FFFFFFF, 0, 10084},
                      Damage{"short middle block", 4, 1, 4000, 0, 10084},
                      Damage{"zero uncompressed length", 4, 2, 0, 0, 10084},
                      Damage{"distance inside the data", 12, 0, 10, 0, 10084},
                      Damage{"distance past the end", 12, 2, 1 << 30, 0, 10084},
                      Damage{"cut inside the last block", -30, 2, 0, 0, 10082},
                      Damage{"cut inside a header", -10, 2, 0, 0, 10082},
                      Damage{"more blocks than stored", kUndamaged, 0, 0, 1, 10084},
                      Damage{"garbage in coded data", 30, 1, 0x12345678, 0, 10087},
                      Damage{"checksum", 8, 0, 0, 0, 10089},
                      Damage{"last block announces less", 4, 2, 100, 0, 10087}));

TEST(DamagedBlobTest, InvalidDescriptorIsRefused) {
  TABSMemoryStream stored;
  for (const auto& change : {+[](TABSBLOBDescriptor& d) { d.block_count = -1; },
                             +[](TABSBLOBDescriptor& d) { d.block_size = -4096; },
                             +[](TABSBLOBDescriptor& d) { d.compression_algorithm = 7; },
                             +[](TABSBLOBDescriptor& d) { d.start_position = -1; }}) {
    TABSBLOBDescriptor descriptor = NewDescriptor(1, 1, 4096);
    change(descriptor);
    EXPECT_ENGINE_CODE(TABSCompressedBLOBStream(stored, false, descriptor), 10097);
  }
}

TEST(DamagedBlobTest, RandomDamageNeverCrashes) {
  TABSMemoryStream original;
  TABSBLOBDescriptor descriptor;
  const auto data = CompressibleBytes(9000);
  {
    TABSCompressedBLOBStream blob(original, true, NewDescriptor(2, 1, 4096));
    blob.Write(data.data(), data.size());
    descriptor = blob.Descriptor();
  }
  const auto bytes = Contents(original);
  std::mt19937 random(7);
  int failures = 0;
  for (int round = 0; round < 300; ++round) {
    TABSMemoryStream stored;
    stored.Write(bytes.data(), bytes.size());
    for (int flips = 1 + int(random() % 3); flips > 0; --flips) {
      stored.Memory()[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
    }
    try {
      TABSCompressedBLOBStream blob(stored, false, descriptor);
      ReadAll(blob);
    } catch (const EABSException&) {
      ++failures;
    }
  }
  EXPECT_GT(failures, 250);
}

TEST(BlobDescriptorTest, StoredAsThirtyTwoBytes) {
  TABSBLOBDescriptor descriptor = NewDescriptor(2, 9, 1572864);
  descriptor.block_count = 3;
  descriptor.blob_size = 0x0102030405;
  descriptor.start_position = 7;
  uint8_t bytes[32];
  std::memset(bytes, 0xEE, sizeof bytes);
  descriptor.Encode(bytes);
  const uint8_t expected[32] = {0x00, 0x00, 0x18, 0x00, 3,    0,    0, 0, 0, 0, 0,
                                0,    0x05, 0x04, 0x03, 0x02, 0x01, 0, 0, 0, 7, 0,
                                0,    0,    0,    0,    0,    0,    2, 9, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, expected, 32), 0);
  EXPECT_EQ(TABSBLOBDescriptor::Decode(bytes), descriptor);
}

}  // namespace
}  // namespace tabshift
