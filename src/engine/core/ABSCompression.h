// Whole-buffer compression for BLOB blocks and the disk engine's compressed internal files:
// the algorithm numbers and names, the default block size per compression mode, and the
// codecs behind CompressBuffer and DecompressBuffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/core/ABSMemory.h"

namespace tabshift {

namespace compression_algorithm {
inline constexpr uint8_t kNone = 0;  // "NONE": stored as is
inline constexpr uint8_t kZlib = 1;  // "ZLIB": zlib stream, level = compression mode
inline constexpr uint8_t kBzip = 2;  // "BZIP": bzip2 stream, block size = mode x 100 kB
inline constexpr uint8_t kPpm = 3;   // "PPM": not available in this build
}  // namespace compression_algorithm

// Raised when a BLOB or file needs the PPM codec.
inline constexpr int32_t kPpmNotAvailable = 10109;

std::string_view CompressionAlgorithmName(uint8_t algorithm);
// Matches the names without regard to case.
std::optional<uint8_t> CompressionAlgorithmFromName(std::string_view name);

// The block size of a compressed BLOB whose field gives none.
int32_t DefaultBlockSize(uint8_t compression_mode);

// Compresses `input` into a new block of the memory manager; `output_size` is the length of
// the compressed bytes in it. False, with no output, for algorithm 0, an unknown algorithm,
// empty input or a codec error.
bool CompressBuffer(uint8_t algorithm, uint8_t mode, const void* input, size_t input_size,
                    TABSMemoryBlock& output, size_t& output_size);
// The reverse. `expected_size` is the length before compression; the output never grows
// past it, so damaged input cannot make the codec fill memory: producing more fails.
bool DecompressBuffer(uint8_t algorithm, const void* input, size_t input_size, size_t expected_size,
                      TABSMemoryBlock& output, size_t& output_size);

}  // namespace tabshift
