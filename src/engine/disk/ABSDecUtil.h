// The checksum of the disk database: CRC-32 over the reflected polynomial 0xEDB88320 with the
// standard table, but with the register starting at 0 and no final inversion, so it differs
// from the usual CRC-32 of the same bytes ("abc" gives 0xCA6598D0). Page data areas, the
// password check bytes and compressed BLOB blocks are all checked with it.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace tabshift {

// Continues `crc` over `length` bytes; start with 0. zlib keeps its register inverted, so
// inverting on the way in and out gives our uninverted register.
inline uint32_t Crc32(const void* data, size_t length, uint32_t crc = 0) {
  return ~static_cast<uint32_t>(crc32_z(~crc, static_cast<const Bytef*>(data), length));
}

}  // namespace tabshift
