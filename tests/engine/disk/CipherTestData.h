// Byte helpers shared by the cipher tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tabshift::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(std::string_view hex) {
  auto nibble = [](char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  };
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
  }
  return bytes;
}

// Deterministic, varied plain bytes.
inline Bytes Sample(size_t length) {
  Bytes bytes(length);
  uint32_t state = 0x12345678;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

inline Bytes XorFF(Bytes bytes) {
  for (uint8_t& byte : bytes) byte ^= 0xFF;
  return bytes;
}

}  // namespace tabshift::testing
