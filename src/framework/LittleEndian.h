// Reading and writing integers in the little-endian byte order of every stored format, at a
// cursor that moves past what it read or wrote.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tabshift {

static_assert(std::endian::native == std::endian::little,
              "stored formats are copied byte for byte; a big-endian host needs byte swaps here");

template <typename T>
requires std::is_trivially_copyable_v<T>
void PutLE(uint8_t*& at, T value) {
  std::memcpy(at, &value, sizeof value);
  at += sizeof value;
}

template <typename T>
requires std::is_trivially_copyable_v<T> T GetLE(const uint8_t*& at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  at += sizeof value;
  return value;
}

}  // namespace tabshift
