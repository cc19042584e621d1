// "DES_Triple" works on 24-byte blocks of three DES blocks, exchanging the second and third
// 32-bit words between its stages.
#include <crypto++/des.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/disk/ABSCipher.h"
#include "engine/disk/CipherTestData.h"

namespace tabshift {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::Sample;
using testing::XorFF;

constexpr int kTripleDes = 3;

// With an all-zero key and a plain block of 0xFF bytes, the block entering the cipher is all
// zero. Each part then DES-encrypts to 8ca64de9c1b123a7 (the published all-zero DES vector);
// after exchanging w1 and w2 the third part still holds E(0), which the K2 stage decrypts back
// to zeros; the second exchange leaves w4 and w5 alone, so the K3 stage turns the third part
// into E(0) once more.
TEST(TripleDesTest, HandCheckedThirdPartOfAZeroKeyBlock) {
  const Bytes key(16, 0);
  Bytes block(24, 0xFF);
  CreateCipher(kTripleDes, key)->EncodeBuffer(block.data(), block.size());
  EXPECT_EQ(Bytes(block.begin() + 16, block.end()), FromHex("8ca64de9c1b123a7"));
}

// The construction spelled out with single DES, for a password's key.
class TripleDesConstruction {
 public:
  TripleDesConstruction(const Bytes& k1, const Bytes& k2, const Bytes& k3, bool exchange_w3_w4)
      : exchange_w3_w4_(exchange_w3_w4) {
    e1_.SetKey(k1.data(), 8);
    d2_.SetKey(k2.data(), 8);
    e3_.SetKey(k3.data(), 8);
  }

  Bytes Encrypt(Bytes block) const {
    EachPart(e1_, block);
    Exchange(block);
    EachPart(d2_, block);
    Exchange(block);
    EachPart(e3_, block);
    return block;
  }

 private:
  static void EachPart(const CryptoPP::BlockTransformation& des, Bytes& block) {
    for (size_t part = 0; part < 3; ++part) des.ProcessBlock(block.data() + 8 * part);
  }
  void Exchange(Bytes& block) const {
    std::swap_ranges(block.begin() + 4, block.begin() + 8, block.begin() + 8);
    if (exchange_w3_w4_)
      std::swap_ranges(block.begin() + 12, block.begin() + 16, block.begin() + 16);
  }

  bool exchange_w3_w4_;
  CryptoPP::DES::Encryption e1_;
  CryptoPP::DES::Decryption d2_;
  CryptoPP::DES::Encryption e3_;
};

TEST(TripleDesTest, PasswordKeyGivesKeysFromRipeMD128AndAZeroK3) {
  constexpr std::string_view kPassword = "triple";
  const TRipeMD128Digest digest = RipeMD128(kPassword);
  const Bytes k1(digest.begin(), digest.begin() + 8);
  const Bytes k2(digest.begin() + 8, digest.end());
  const Bytes zero(8, 0);
  const Bytes plain = Sample(24);

  Bytes encrypted = plain;
  ASSERT_TRUE(EncryptPage(kTripleDes, encrypted.data(), encrypted.size(), kPassword));

  EXPECT_EQ(encrypted, TripleDesConstruction(k1, k2, zero, false).Encrypt(XorFF(plain)));
  // The test tells the variants apart: exchanging w3 and w4 too, or a K3 other than zero
  // (such as K1, as in two-key triple DES), gives other bytes.
  EXPECT_NE(encrypted, TripleDesConstruction(k1, k2, zero, true).Encrypt(XorFF(plain)));
  EXPECT_NE(encrypted, TripleDesConstruction(k1, k2, k1, false).Encrypt(XorFF(plain)));
}

TEST(TripleDesTest, FullLengthKeyFillsK3) {
  const Bytes key = FromHex("0123456789abcdeffedcba98765432100011223344556677");
  const Bytes plain = Sample(24);
  Bytes encrypted = XorFF(plain);
  CreateCipher(kTripleDes, std::span<const uint8_t>(key.data(), 24))
      ->EncodeBuffer(encrypted.data(), encrypted.size());
  const Bytes k1(key.begin(), key.begin() + 8);
  const Bytes k2(key.begin() + 8, key.begin() + 16);
  const Bytes k3(key.begin() + 16, key.begin() + 24);
  EXPECT_EQ(encrypted, TripleDesConstruction(k1, k2, k3, false).Encrypt(plain));
}

}  // namespace
}  // namespace tabshift
