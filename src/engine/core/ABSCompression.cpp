#include "engine/core/ABSCompression.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <array>

#include "engine/access/ABSExcept.h"
#include "framework/Text.h"

namespace tabshift {
namespace {

constexpr std::array<std::string_view, 4> kAlgorithmNames = {"NONE", "ZLIB", "BZIP", "PPM"};
// The zlib interface version this engine was written against; zlib accepts any 1.x here.
constexpr const char* kZlibVersion = "1.2.3";
constexpr size_t kGrowthStep = 256;
// The largest buffer either side of a codec: a block of the memory manager.
constexpr size_t kMaxCodecBuffer = TABSMemoryManager::kMaxBlockSize;
// First output buffer when decompressing: the expected size, but no more than this unless
// the data really produces more.
constexpr size_t kFirstDecompressBuffer = 1 << 20;

[[noreturn]] void RaisePpmNotAvailable() {
  RaiseEngineError(kPpmNotAvailable, "Compression algorithm PPM is not available");
}

size_t CompressOutputSize(size_t input_size) {
  return (input_size + input_size / 10 + 267) & ~size_t(255);
}

// Drives one codec over a whole buffer. `step` runs the codec once on the current buffers
// and returns +1 when the stream is complete, 0 when it needs more output room, -1 on error.
template <typename Step>
bool RunCodec(size_t first_size, size_t limit, Step step, TABSMemoryBlock& output,
              size_t& output_size) {
  TABSMemoryBlock buffer(std::max<size_t>(first_size, 1));
  size_t produced = 0;
  for (;;) {
    const int result = step(buffer.data() + produced, buffer.size() - produced, produced);
    if (result < 0) return false;
    if (result > 0) break;
    if (buffer.size() >= limit) return false;
    const size_t grown =
        buffer.size() < kFirstDecompressBuffer ? buffer.size() + kGrowthStep : buffer.size() * 2;
    buffer.Resize(std::min(grown, limit));
  }
  if (produced == 0) return false;
  output = std::move(buffer);
  output_size = produced;
  return true;
}

bool ZlibCompress(int level, const uint8_t* input, size_t size, TABSMemoryBlock& output,
                  size_t& output_size) {
  z_stream stream{};
  if (deflateInit_(&stream, level, kZlibVersion, sizeof stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = static_cast<uInt>(size);
  const bool done = RunCodec(
      CompressOutputSize(size), kMaxCodecBuffer,
      [&](uint8_t* out, size_t room, size_t& produced) {
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(std::min(room, kMaxCodecBuffer));
        const int result = deflate(&stream, Z_FINISH);
        produced = stream.total_out;
        if (result == Z_STREAM_END) return 1;
        return result == Z_OK || result == Z_BUF_ERROR ? 0 : -1;
      },
      output, output_size);
  deflateEnd(&stream);
  return done;
}

bool ZlibDecompress(const uint8_t* input, size_t size, size_t expected, TABSMemoryBlock& output,
                    size_t& output_size) {
  z_stream stream{};
  if (inflateInit_(&stream, kZlibVersion, sizeof stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(input);
  stream.avail_in = static_cast<uInt>(size);
  const bool done = RunCodec(
      std::min(expected, kFirstDecompressBuffer), expected,
      [&](uint8_t* out, size_t room, size_t& produced) {
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(room);
        const int result = inflate(&stream, Z_FINISH);
        produced = stream.total_out;
        if (result == Z_STREAM_END) return 1;
        // Out of input before the end: the data is cut short.
        if (stream.avail_in == 0 && stream.avail_out != 0) return -1;
        return result == Z_OK || result == Z_BUF_ERROR ? 0 : -1;
      },
      output, output_size);
  inflateEnd(&stream);
  return done;
}

bool BzipCompress(int block_size, const uint8_t* input, size_t size, TABSMemoryBlock& output,
                  size_t& output_size) {
  bz_stream stream{};
  if (BZ2_bzCompressInit(&stream, block_size, 0, 0) != BZ_OK) return false;
  stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(input));
  stream.avail_in = static_cast<unsigned int>(size);
  const bool done = RunCodec(
      CompressOutputSize(size), kMaxCodecBuffer,
      [&](uint8_t* out, size_t room, size_t& produced) {
        stream.next_out = reinterpret_cast<char*>(out);
        stream.avail_out = static_cast<unsigned int>(std::min(room, kMaxCodecBuffer));
        const int result = BZ2_bzCompress(&stream, BZ_FINISH);
        produced = stream.total_out_lo32;
        if (result == BZ_STREAM_END) return 1;
        return result == BZ_FINISH_OK ? 0 : -1;
      },
      output, output_size);
  BZ2_bzCompressEnd(&stream);
  return done;
}

bool BzipDecompress(const uint8_t* input, size_t size, size_t expected, TABSMemoryBlock& output,
                    size_t& output_size) {
  bz_stream stream{};
  if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return false;
  stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(input));
  stream.avail_in = static_cast<unsigned int>(size);
  const bool done = RunCodec(
      std::min(expected, kFirstDecompressBuffer), expected,
      [&](uint8_t* out, size_t room, size_t& produced) {
        stream.next_out = reinterpret_cast<char*>(out);
        stream.avail_out = static_cast<unsigned int>(room);
        const int result = BZ2_bzDecompress(&stream);
        produced = stream.total_out_lo32;
        if (result == BZ_STREAM_END) return 1;
        if (result != BZ_OK) return -1;
        // Out of input before the end: the data is cut short.
        return stream.avail_in == 0 && stream.avail_out != 0 ? -1 : 0;
      },
      output, output_size);
  BZ2_bzDecompressEnd(&stream);
  return done;
}

}  // namespace

std::string_view CompressionAlgorithmName(uint8_t algorithm) {
  return algorithm < kAlgorithmNames.size() ? kAlgorithmNames[algorithm] : std::string_view();
}

std::optional<uint8_t> CompressionAlgorithmFromName(std::string_view name) {
  for (size_t i = 0; i < kAlgorithmNames.size(); ++i) {
    if (SameText(name, kAlgorithmNames[i])) {
      return static_cast<uint8_t>(i);
    }
  }
  return std::nullopt;
}

int32_t DefaultBlockSize(uint8_t compression_mode) {
  if (compression_mode == 0) return 102400;
  if (compression_mode <= 3) return 524288;
  if (compression_mode <= 6) return 1048576;
  return 1572864;
}

bool CompressBuffer(uint8_t algorithm, uint8_t mode, const void* input, size_t input_size,
                    TABSMemoryBlock& output, size_t& output_size) {
  output_size = 0;
  if (input_size == 0 || input_size > kMaxCodecBuffer) return false;
  const auto* bytes = static_cast<const uint8_t*>(input);
  switch (algorithm) {
    case compression_algorithm::kZlib:
      return ZlibCompress(mode, bytes, input_size, output, output_size);
    case compression_algorithm::kBzip:
      return BzipCompress(mode, bytes, input_size, output, output_size);
    case compression_algorithm::kPpm:
      RaisePpmNotAvailable();
    default:
      return false;
  }
}

bool DecompressBuffer(uint8_t algorithm, const void* input, size_t input_size, size_t expected_size,
                      TABSMemoryBlock& output, size_t& output_size) {
  output_size = 0;
  if (input_size == 0 || input_size > kMaxCodecBuffer || expected_size == 0 ||
      expected_size > kMaxCodecBuffer) {
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(input);
  switch (algorithm) {
    case compression_algorithm::kZlib:
      return ZlibDecompress(bytes, input_size, expected_size, output, output_size);
    case compression_algorithm::kBzip:
      return BzipDecompress(bytes, input_size, expected_size, output, output_size);
    case compression_algorithm::kPpm:
      RaisePpmNotAvailable();
    default:
      return false;
  }
}

}  // namespace tabshift
