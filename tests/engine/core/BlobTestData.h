// Deterministic test contents: text-like bytes that compress well, and noise that does not.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace tabshift::testing {

inline std::vector<uint8_t> CompressibleBytes(size_t size, uint32_t seed = 1) {
  static const char* const kWords[] = {"record ", "index ", "blob ", "page ", "table ",
                                       "field ",  "key ",   "0042 ", "ZZ\n",  "value "};
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  bytes.reserve(size + 8);
  while (bytes.size() < size) {
    for (const char* c = kWords[random() % 10]; *c != 0; ++c) bytes.push_back(uint8_t(*c));
  }
  bytes.resize(size);
  return bytes;
}

inline std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed = 2) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

}  // namespace tabshift::testing
