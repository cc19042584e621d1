#include "udb/Crypts.h"

#include <algorithm>
#include <string>

namespace tabshift::udb {
namespace {

// Position j of a 7-byte block moves to kPermutation[j] when encoding.
constexpr uint8_t kPermutation[7] = {3, 6, 5, 1, 2, 0, 4};
constexpr uint8_t kDifferenceSeed = 0x53;

// The 16-bit words of the range combined with start + j * step; an odd last byte with the low
// byte of the next value of that progression.
template <typename Combine>
void WordProgression(uint8_t* bytes, uint32_t count, uint16_t start, uint16_t step,
                     Combine combine) {
  uint16_t addend = start;
  const uint32_t words = count / 2;
  for (uint32_t j = 0; j < words; ++j, addend = static_cast<uint16_t>(addend + step)) {
    uint8_t* at = bytes + 2 * j;
    const uint16_t word = static_cast<uint16_t>(at[0] | (at[1] << 8));
    const uint16_t result = combine(word, addend);
    at[0] = static_cast<uint8_t>(result);
    at[1] = static_cast<uint8_t>(result >> 8);
  }
  if (count % 2 != 0) {
    bytes[count - 1] = static_cast<uint8_t>(combine(bytes[count - 1], addend));
  }
}

constexpr auto Add = [](uint16_t a, uint16_t b) { return static_cast<uint16_t>(a + b); };
constexpr auto Subtract = [](uint16_t a, uint16_t b) { return static_cast<uint16_t>(a - b); };
constexpr auto Xor = [](uint16_t a, uint16_t b) { return static_cast<uint16_t>(a ^ b); };

// The running value stays in a register rather than being read back from the byte just stored.
void BackwardRunningSum(uint8_t* bytes, uint32_t count, uint8_t seed) {
  uint8_t sum = seed;
  for (uint32_t i = count; i-- > 0;) {
    sum = static_cast<uint8_t>(sum + bytes[i]);
    bytes[i] = sum;
  }
}

void ForwardDifference(uint8_t* bytes, uint32_t count, uint8_t seed) {
  for (uint32_t i = 0; i + 1 < count; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] - bytes[i + 1]);
  bytes[count - 1] = static_cast<uint8_t>(bytes[count - 1] - seed);
}

void BackwardPairwiseSum(uint8_t* bytes, uint32_t count, uint8_t seed) {
  for (uint32_t i = count - 1; i > 0; --i) bytes[i] = static_cast<uint8_t>(bytes[i] + bytes[i - 1]);
  bytes[0] = static_cast<uint8_t>(bytes[0] + seed);
}

void ForwardRunningDifference(uint8_t* bytes, uint32_t count, uint8_t seed) {
  uint8_t last = seed;
  for (uint32_t i = 0; i < count; ++i) {
    last = static_cast<uint8_t>(bytes[i] - last);
    bytes[i] = last;
  }
}

void PermuteBlocks(uint8_t* bytes, uint32_t count, bool forward) {
  for (uint32_t block = 0; block + 7 <= count; block += 7) {
    uint8_t original[7];
    std::copy_n(bytes + block, 7, original);
    for (int j = 0; j < 7; ++j) {
      if (forward) {
        bytes[block + kPermutation[j]] = original[j];
      } else {
        bytes[block + j] = original[kPermutation[j]];
      }
    }
  }
}

// Moves bit `bit` one byte onwards across the 13 bytes, byte 0 taking it from byte 12.
void RotateBit(CipherDecoder::Key& key, int bit) {
  const uint8_t mask = static_cast<uint8_t>(1u << bit);
  const CipherDecoder::Key before = key;
  for (size_t j = 0; j < key.size(); ++j) {
    const uint8_t source = before[(j + key.size() - 1) % key.size()];
    key[j] = static_cast<uint8_t>((key[j] & ~mask) | (source & mask));
  }
}

}  // namespace

CipherDecoder::Key CipherDecoder::DeriveKey(std::string_view password) {
  std::string text(password.substr(0, 128));
  while (text.size() < 13) text += static_cast<char>((text.size() * 3 + 0x50) & 0xFF);
  Key bytes;
  std::copy_n(reinterpret_cast<const uint8_t*>(text.data()), bytes.size(), bytes.begin());

  Key key;
  for (size_t j = 0; j < key.size(); ++j) {
    const uint8_t previous = bytes[(j + key.size() - 1) % key.size()];
    key[j] = static_cast<uint8_t>((bytes[j] >> 5) | (previous << 3));
  }
  for (int bit = 1; bit <= 7; ++bit) {
    for (int turn = 0; turn < 3 * bit; ++turn) RotateBit(key, bit);
  }
  return key;
}

void CipherDecoder::SetKey(std::string_view password) {
  key_ = DeriveKey(password);
}

uint16_t CipherDecoder::KeyWord(int index) const {
  return static_cast<uint16_t>(key_[2 * index] | (key_[2 * index + 1] << 8));
}

void CipherDecoder::Encode(uint8_t* buffer, uint32_t length, uint32_t start) {
  if (length <= start) return;
  uint8_t* bytes = buffer + start;
  const uint32_t count = length - start;
  WordProgression(bytes, count, KeyWord(1), KeyWord(0), Subtract);
  ForwardRunningDifference(bytes, count, kDifferenceSeed);
  WordProgression(bytes, count, KeyWord(3), KeyWord(2), Xor);
  PermuteBlocks(bytes, count, true);
  WordProgression(bytes, count, KeyWord(5), KeyWord(4), Add);
  ForwardDifference(bytes, count, key_[12]);
}

// Steps 2 to 6 run fused over chunks of 14 bytes (seven words, two permutation blocks) while
// the data is in registers; the rest of the range, shorter than a chunk, goes step by step.
void CipherDecoder::Decode(uint8_t* buffer, uint32_t length, uint32_t start) {
  if (length <= start) return;
  uint8_t* bytes = buffer + start;
  const uint32_t count = length - start;
  BackwardRunningSum(bytes, count, key_[12]);
  const uint16_t step4 = KeyWord(4), step2 = KeyWord(2), step0 = KeyWord(0);
  uint16_t add5 = KeyWord(5), add3 = KeyWord(3), add1 = KeyWord(1);
  uint8_t previous = kDifferenceSeed;  // the pairwise sum's byte before the current one
  const uint32_t fused = count / 14 * 14;
  for (uint32_t base = 0; base < fused; base += 14) {
    uint8_t* chunk = bytes + base;
    uint8_t v[14];
    uint8_t t[14];
    for (int w = 0; w < 7; ++w) {
      const uint16_t word = static_cast<uint16_t>(chunk[2 * w] | (chunk[2 * w + 1] << 8));
      const uint16_t result = static_cast<uint16_t>(word - static_cast<uint16_t>(add5 + w * step4));
      v[2 * w] = static_cast<uint8_t>(result);
      v[2 * w + 1] = static_cast<uint8_t>(result >> 8);
    }
    for (int j = 0; j < 7; ++j) {
      t[j] = v[kPermutation[j]];
      t[7 + j] = v[7 + kPermutation[j]];
    }
    for (int w = 0; w < 7; ++w) {
      const uint16_t key = static_cast<uint16_t>(add3 + w * step2);
      t[2 * w] = static_cast<uint8_t>(t[2 * w] ^ key);
      t[2 * w + 1] = static_cast<uint8_t>(t[2 * w + 1] ^ (key >> 8));
    }
    v[0] = static_cast<uint8_t>(t[0] + previous);
    for (int i = 1; i < 14; ++i) v[i] = static_cast<uint8_t>(t[i] + t[i - 1]);
    previous = t[13];
    for (int w = 0; w < 7; ++w) {
      const uint16_t word = static_cast<uint16_t>(v[2 * w] | (v[2 * w + 1] << 8));
      const uint16_t result = static_cast<uint16_t>(word + static_cast<uint16_t>(add1 + w * step0));
      chunk[2 * w] = static_cast<uint8_t>(result);
      chunk[2 * w + 1] = static_cast<uint8_t>(result >> 8);
    }
    add5 = static_cast<uint16_t>(add5 + 7 * step4);
    add3 = static_cast<uint16_t>(add3 + 7 * step2);
    add1 = static_cast<uint16_t>(add1 + 7 * step0);
  }
  const uint32_t rest = count - fused;
  if (rest == 0) return;
  uint8_t* tail = bytes + fused;
  WordProgression(tail, rest, add5, step4, Subtract);
  PermuteBlocks(tail, rest, false);
  WordProgression(tail, rest, add3, step2, Xor);
  BackwardPairwiseSum(tail, rest, previous);
  WordProgression(tail, rest, add1, step0, Add);
}

uint16_t CipherDecoder::Checksum(const uint8_t* buffer, uint32_t length, uint32_t start) const {
  uint16_t sum = 0xABCD;
  if (length <= start) return sum;
  const uint8_t* bytes = buffer + start;
  const uint32_t count = length - start;
  for (uint32_t j = 0; j + 1 < count; j += 2) {
    sum = static_cast<uint16_t>(sum + (bytes[j] | (bytes[j + 1] << 8)));
  }
  if (count % 2 != 0) sum = static_cast<uint16_t>(sum + bytes[count - 1]);
  return sum;
}

}  // namespace tabshift::udb
