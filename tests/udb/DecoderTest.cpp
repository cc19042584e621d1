#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "udb/Crypts.h"
#include "udb/Decoder.h"

namespace tabshift::udb {
namespace {

using Bytes = std::vector<uint8_t>;

// A second, deliberately plain reading of the key derivation: the key as a 104-bit string.
CipherDecoder::Key ReferenceKey(std::string password) {
  if (password.size() > 128) password.resize(128);
  while (password.size() < 13) password += static_cast<char>(password.size() * 3 + 0x50);
  std::vector<int> bits;  // K(0) first, most significant bit first
  for (int j = 0; j < 13; ++j) {
    for (int b = 7; b >= 0; --b) bits.push_back((static_cast<uint8_t>(password[j]) >> b) & 1);
  }
  std::vector<int> rotated(104);
  for (int i = 0; i < 104; ++i) rotated[(i + 5) % 104] = bits[i];
  CipherDecoder::Key key{};
  for (int j = 0; j < 13; ++j) {
    for (int b = 0; b < 8; ++b) key[j] |= static_cast<uint8_t>(rotated[j * 8 + 7 - b] << b);
  }
  for (int b = 1; b <= 7; ++b) {
    for (int turn = 0; turn < 3 * b; ++turn) {
      const CipherDecoder::Key before = key;
      for (int j = 0; j < 13; ++j) {
        const int source = (before[(j + 12) % 13] >> b) & 1;
        key[j] = static_cast<uint8_t>((key[j] & ~(1 << b)) | (source << b));
      }
    }
  }
  return key;
}

// The encoding written step by step from its definition, each step from x into a fresh y.
Bytes ReferenceEncode(const CipherDecoder::Key& k, Bytes x) {
  const auto word = [&](int i) { return static_cast<uint16_t>(k[2 * i] | (k[2 * i + 1] << 8)); };
  const size_t n = x.size();
  const auto progression = [&](Bytes v, uint16_t a, uint16_t s, int op) {
    const auto apply = [op](uint16_t p, uint16_t q) {
      return static_cast<uint16_t>(op == 0 ? p - q : op == 1 ? p ^ q : p + q);
    };
    for (size_t j = 0; j < n / 2; ++j) {
      const uint16_t w = static_cast<uint16_t>(v[2 * j] | (v[2 * j + 1] << 8));
      const uint16_t r = apply(w, static_cast<uint16_t>(a + j * s));
      v[2 * j] = static_cast<uint8_t>(r);
      v[2 * j + 1] = static_cast<uint8_t>(r >> 8);
    }
    if (n % 2)
      v[n - 1] = static_cast<uint8_t>(apply(v[n - 1], static_cast<uint16_t>(a + n / 2 * s)));
    return v;
  };
  x = progression(x, word(1), word(0), 0);
  Bytes y(n);
  y[0] = static_cast<uint8_t>(x[0] - 0x53);
  for (size_t i = 1; i < n; ++i) y[i] = static_cast<uint8_t>(x[i] - y[i - 1]);
  x = progression(y, word(3), word(2), 1);
  y = x;
  const int p[7] = {3, 6, 5, 1, 2, 0, 4};
  for (size_t b = 0; b + 7 <= n; b += 7) {
    for (int j = 0; j < 7; ++j) y[b + p[j]] = x[b + j];
  }
  x = progression(y, word(5), word(4), 2);
  for (size_t i = 0; i + 1 < n; ++i) y[i] = static_cast<uint8_t>(x[i] - x[i + 1]);
  y[n - 1] = static_cast<uint8_t>(x[n - 1] - k[12]);
  return y;
}

Bytes RandomBytes(std::mt19937& random, size_t n) {
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(CipherDecoderTest, KeyDerivationMatchesTheBitStringReading) {
  for (const std::string& password :
       {std::string(), std::string("a"), std::string("secret pass"), std::string(13, '\xFF'),
        std::string("exactly13char"), std::string(200, 'p')}) {
    EXPECT_EQ(CipherDecoder::DeriveKey(password), ReferenceKey(password)) << password;
  }
}

TEST(CipherDecoderTest, EmptyPasswordKeyDiffersFromTheUnsetKey) {
  CipherDecoder unset;
  EXPECT_EQ(unset.KeyBytes(), CipherDecoder::Key{});
  CipherDecoder empty;
  empty.SetKey("");
  EXPECT_NE(empty.KeyBytes(), CipherDecoder::Key{});
  // The empty password is padded with the codes 0x50, 0x53, ... 0x74.
  std::string padding;
  for (int i = 0; i < 13; ++i) padding += static_cast<char>(0x50 + 3 * i);
  EXPECT_EQ(empty.KeyBytes(), CipherDecoder::DeriveKey(padding));
  // Only the first 128 characters count.
  EXPECT_EQ(CipherDecoder::DeriveKey(std::string(128, 'x') + "tail"),
            CipherDecoder::DeriveKey(std::string(128, 'x') + "other"));
}

TEST(CipherDecoderTest, EncodeMatchesTheStepByStepDefinition) {
  std::mt19937 random(1);
  for (const size_t n : {1, 2, 6, 7, 13, 14, 15, 64, 1001}) {
    CipherDecoder decoder;
    decoder.SetKey("key" + std::to_string(n));
    const Bytes plain = RandomBytes(random, n);
    Bytes encoded = plain;
    decoder.Encode(encoded.data(), static_cast<uint32_t>(n), 0);
    EXPECT_EQ(encoded, ReferenceEncode(decoder.KeyBytes(), plain)) << n;
  }
}

TEST(CipherDecoderTest, DecodeUndoesEncodeForManyKeysLengthsAndStarts) {
  std::mt19937 random(2);
  std::vector<uint32_t> lengths;
  for (uint32_t n = 1; n <= 300; ++n) lengths.push_back(n);
  for (uint32_t n = 301; n < 65535; n += 4099) lengths.push_back(n);
  lengths.push_back(65535);
  for (const uint32_t n : lengths) {
    CipherDecoder decoder;
    decoder.SetKey(std::string(n % 20, static_cast<char>(random())));
    const uint32_t start = static_cast<uint32_t>(random() % 9);
    const Bytes plain = RandomBytes(random, start + n);
    Bytes buffer = plain;
    decoder.Encode(buffer.data(), start + n, start);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + start, plain.begin()));
    if (n > 8) {
      EXPECT_NE(buffer, plain);
    }
    decoder.Decode(buffer.data(), start + n, start);
    ASSERT_EQ(buffer, plain) << "length " << n << " start " << start;
  }
}

TEST(CipherDecoderTest, ChecksumIsAWordSum) {
  CipherDecoder decoder;
  const Bytes zeros(4, 0);
  EXPECT_EQ(decoder.Checksum(zeros.data(), 4, 0), 0xABCD);
  const Bytes words = {0x01, 0x00, 0x02, 0x00};
  EXPECT_EQ(decoder.Checksum(words.data(), 4, 0), 0xABD0);
  const Bytes odd = {0xEE, 0xFF, 0xFF, 0x10};  // start 1: word 0xFFFF plus last byte 0x10
  EXPECT_EQ(decoder.Checksum(odd.data(), 4, 1), static_cast<uint16_t>(0xABCD + 0xFFFF + 0x10));
}

TEST(PlainDecoderTest, LeavesBytesAndHasAFixedChecksum) {
  PlainDecoder decoder;
  decoder.SetKey("ignored");
  Bytes bytes = {1, 2, 3};
  decoder.Encode(bytes.data(), 3, 0);
  decoder.Decode(bytes.data(), 3, 0);
  EXPECT_EQ(bytes, (Bytes{1, 2, 3}));
  EXPECT_EQ(decoder.Checksum(bytes.data(), 3, 0), 0x5343);
  EXPECT_EQ(decoder.Version(), 0);
  EXPECT_EQ(CipherDecoder().Version(), 1);
}

TEST(DecoderChoiceTest, WithoutTheSwitchFileSetsGetTheCipher) {
  EXPECT_FALSE(ProcessUsesPlainDecoder());
  EXPECT_EQ(NewFileSetDecoder()->Version(), 1);
}

}  // namespace
}  // namespace tabshift::udb
