#include "engine/core/ABSCompression.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/core/BlobTestData.h"
#include "engine/core/EngineErrorMatchers.h"

namespace tabshift {
namespace {

using testing::CompressibleBytes;
using testing::NoiseBytes;

TEST(CompressionNamesTest, NumbersNamesAndDefaultBlockSizes) {
  EXPECT_EQ(CompressionAlgorithmName(0), "NONE");
  EXPECT_EQ(CompressionAlgorithmName(2), "BZIP");
  EXPECT_EQ(CompressionAlgorithmName(4), "");
  EXPECT_EQ(CompressionAlgorithmFromName("zlib"), 1);
  EXPECT_EQ(CompressionAlgorithmFromName("Ppm"), 3);
  EXPECT_EQ(CompressionAlgorithmFromName("lzma"), std::nullopt);
  const int32_t expected[10] = {102400,  524288,  524288,  524288,  1048576,
                                1048576, 1048576, 1572864, 1572864, 1572864};
  for (uint8_t mode = 0; mode < 10; ++mode) EXPECT_EQ(DefaultBlockSize(mode), expected[mode]);
}

struct CodecCase {
  uint8_t algorithm;
  uint8_t mode;
  size_t size;
  bool noise;
};

class CodecRoundTrip : public ::testing::TestWithParam<CodecCase> {};

TEST_P(CodecRoundTrip, DecompressGivesBackTheInput) {
  const CodecCase& c = GetParam();
  const auto input = c.noise ? NoiseBytes(c.size) : CompressibleBytes(c.size);
  TABSMemoryBlock compressed;
  size_t compressed_size = 0;
  ASSERT_TRUE(
      CompressBuffer(c.algorithm, c.mode, input.data(), input.size(), compressed, compressed_size));
  ASSERT_GT(compressed_size, 0u);
  EXPECT_LE(compressed_size, compressed.size());
  if (!c.noise && c.size > 1000) {
    EXPECT_LT(compressed_size, c.size / 2);
  }
  TABSMemoryBlock output;
  size_t output_size = 0;
  ASSERT_TRUE(DecompressBuffer(c.algorithm, compressed.data(), compressed_size, input.size(),
                               output, output_size));
  ASSERT_EQ(output_size, input.size());
  EXPECT_EQ(std::memcmp(output.data(), input.data(), input.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecRoundTrip,
    ::testing::Values(CodecCase{1, 1, 1, false}, CodecCase{1, 6, 100000, false},
                      CodecCase{1, 9, 100000, true}, CodecCase{1, 1, 3000000, false},
                      CodecCase{2, 1, 1, false}, CodecCase{2, 9, 100000, false},
                      CodecCase{2, 1, 200000, true}, CodecCase{2, 5, 3000000, false}));

TEST(CompressBufferTest, RefusesWhatItCannotCompress) {
  const auto input = CompressibleBytes(100);
  TABSMemoryBlock output;
  size_t output_size = 7;
  EXPECT_FALSE(CompressBuffer(0, 1, input.data(), input.size(), output, output_size));
  EXPECT_FALSE(CompressBuffer(4, 1, input.data(), input.size(), output, output_size));
  EXPECT_FALSE(CompressBuffer(1, 1, input.data(), 0, output, output_size));
  EXPECT_FALSE(CompressBuffer(2, 10, input.data(), input.size(), output, output_size));
  EXPECT_EQ(output_size, 0u);
  EXPECT_TRUE(output.empty());
}

TEST(CompressBufferTest, PpmIsNotAvailable) {
  const auto input = CompressibleBytes(100);
  TABSMemoryBlock output;
  size_t output_size = 0;
  EXPECT_ENGINE_ERROR(CompressBuffer(3, 4, input.data(), input.size(), output, output_size), 10109,
                      "Compression algorithm PPM is not available - Native error: 10109");
  EXPECT_ENGINE_CODE(DecompressBuffer(3, input.data(), input.size(), 100, output, output_size),
                     10109);
}

class DamagedInput : public ::testing::TestWithParam<uint8_t> {};

TEST_P(DamagedInput, FailsWithoutOutput) {
  const uint8_t algorithm = GetParam();
  const auto input = CompressibleBytes(50000);
  TABSMemoryBlock compressed;
  size_t size = 0;
  ASSERT_TRUE(CompressBuffer(algorithm, 6, input.data(), input.size(), compressed, size));
  TABSMemoryBlock output;
  size_t output_size = 0;
  // Cut short.
  EXPECT_FALSE(
      DecompressBuffer(algorithm, compressed.data(), size / 2, input.size(), output, output_size));
  // More output than announced.
  EXPECT_FALSE(
      DecompressBuffer(algorithm, compressed.data(), size, input.size() - 1, output, output_size));
  // Garbage in the middle of the coded data.
  std::vector<uint8_t> damaged(compressed.data(), compressed.data() + size);
  for (size_t i = size / 3; i < size / 3 + 40; ++i) damaged[i] ^= 0x5A;
  EXPECT_FALSE(
      DecompressBuffer(algorithm, damaged.data(), size, input.size(), output, output_size));
  // Noise throughout.
  const auto noise = NoiseBytes(size);
  EXPECT_FALSE(
      DecompressBuffer(algorithm, noise.data(), noise.size(), input.size(), output, output_size));
}

INSTANTIATE_TEST_SUITE_P(Codecs, DamagedInput, ::testing::Values(1, 2));

TEST(DecompressBufferTest, AnAbsurdExpectedSizeDoesNotReserveIt) {
  const auto input = CompressibleBytes(1000);
  TABSMemoryBlock compressed;
  size_t size = 0;
  ASSERT_TRUE(CompressBuffer(1, 6, input.data(), input.size(), compressed, size));
  auto& manager = MemoryManager();
  manager.SetMemoryLimit(manager.BytesInUse() + (8 << 20));
  TABSMemoryBlock output;
  size_t output_size = 0;
  const bool done = DecompressBuffer(1, compressed.data(), size, 1u << 30, output, output_size);
  manager.SetMemoryLimit(0);
  EXPECT_TRUE(done);
  EXPECT_EQ(output_size, 1000u);
}

}  // namespace
}  // namespace tabshift
