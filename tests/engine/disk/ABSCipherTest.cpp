#include "engine/disk/ABSCipher.h"

#include <crypto++/aes.h>
#include <crypto++/blowfish.h>
#include <crypto++/des.h>
#include <crypto++/rijndael.h>
#include <crypto++/square.h>
#include <crypto++/twofish.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "engine/disk/ABSDecUtil.h"
#include "engine/disk/CipherTestData.h"

namespace tabshift {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::Sample;
using testing::XorFF;

constexpr std::string_view kPassword = "Tabshift-Secret";

enum Id {
  Rijndael128,
  Rijndael256,
  DesSingle,
  DesTriple,
  Blowfish,
  Twofish128,
  Twofish256,
  Square
};

Bytes Encrypted(int id, Bytes data, std::string_view password = kPassword) {
  EXPECT_TRUE(EncryptPage(id, data.data(), data.size(), password));
  return data;
}

Bytes Decrypted(int id, Bytes data, std::string_view password = kPassword) {
  EXPECT_TRUE(DecryptPage(id, data.data(), data.size(), password));
  return data;
}

TEST(CipherNamesTest, TableOrder) {
  EXPECT_EQ(kCipherNames[0], "Rijndael_128");
  EXPECT_EQ(kCipherNames[3], "DES_Triple");
  EXPECT_EQ(kCipherNames[7], "Square");
}

TEST(RipeMDTest, PublishedVectors) {
  auto hex128 = [](std::string_view text) {
    const TRipeMD128Digest digest = RipeMD128(text);
    return Bytes(digest.begin(), digest.end());
  };
  auto hex256 = [](std::string_view text) {
    const TRipeMD256Digest digest = RipeMD256(text);
    return Bytes(digest.begin(), digest.end());
  };
  EXPECT_EQ(hex128(""), FromHex("cdf26213a150dc3ecb610f18f6b38b46"));
  EXPECT_EQ(hex128("abc"), FromHex("c14a12199c66e4ba84636b0f69144c77"));
  EXPECT_EQ(hex256(""),
            FromHex("02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"));
  EXPECT_EQ(hex256("abc"),
            FromHex("afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"));
}

TEST(DeriveCipherKeyTest, HashPrefixOfTheCiphersKeyLength) {
  const TRipeMD128Digest short_digest = RipeMD128(kPassword);
  const TRipeMD256Digest long_digest = RipeMD256(kPassword);
  const Bytes from128(short_digest.begin(), short_digest.end());
  const Bytes from256(long_digest.begin(), long_digest.end());
  const std::array<Bytes, kCipherCount> expected = {
      from128, from256, Bytes(from128.begin(), from128.begin() + 8), from128, from256, from128,
      from256, from128};
  for (int id = 0; id < kCipherCount; ++id) {
    const TCipherKey key = DeriveCipherKey(id, kPassword);
    EXPECT_EQ(Bytes(key.Bytes().begin(), key.Bytes().end()), expected[static_cast<size_t>(id)])
        << kCipherNames[static_cast<size_t>(id)];
  }
}

// A published single-block vector run through our cipher objects: a block of (plain xor 0xFF)
// chained from the 0xFF initial vector encrypts to E(plain).
struct BlockVector {
  int id;
  const char* key;
  const char* plain;
  const char* cipher;
};

class StandardVectorTest : public ::testing::TestWithParam<BlockVector> {};

TEST_P(StandardVectorTest, EncryptsAndDecryptsOneBlock) {
  const BlockVector& vector = GetParam();
  const Bytes key = FromHex(vector.key);
  const std::unique_ptr<TCipher> cipher = CreateCipher(vector.id, key);
  Bytes block = XorFF(FromHex(vector.plain));
  ASSERT_EQ(block.size(), cipher->BlockSize());
  cipher->EncodeBuffer(block.data(), block.size());
  EXPECT_EQ(block, FromHex(vector.cipher));
  cipher->DecodeBuffer(block.data(), block.size());
  EXPECT_EQ(block, XorFF(FromHex(vector.plain)));
}

INSTANTIATE_TEST_SUITE_P(
    PublishedVectors, StandardVectorTest,
    ::testing::Values(
        // AES, FIPS-197 appendices B, C.1 and C.3.
        BlockVector{Rijndael128, "2b7e151628aed2a6abf7158809cf4f3c",
                    "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32"},
        BlockVector{Rijndael128, "000102030405060708090a0b0c0d0e0f",
                    "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        BlockVector{Rijndael256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
                    "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
        BlockVector{DesSingle, "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
        BlockVector{DesSingle, "0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
        BlockVector{Blowfish, "0000000000000000", "0000000000000000", "4ef997456198dd78"},
        BlockVector{Blowfish, "ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        BlockVector{Blowfish, "f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677",
                    "fedcba9876543210", "05044b62fa52d080"},
        BlockVector{Twofish128, "00000000000000000000000000000000",
                    "00000000000000000000000000000000", "9f589f5cf6122c32b6bfec2f2ae8c35a"},
        BlockVector{Twofish128, "00000000000000000000000000000000",
                    "9f589f5cf6122c32b6bfec2f2ae8c35a", "d491db16e7b1c39e86cb086b789f5419"},
        BlockVector{Twofish256, "0000000000000000000000000000000000000000000000000000000000000000",
                    "00000000000000000000000000000000", "57ff739d4dc92c1bd7fc01700cc8216f"},
        BlockVector{Twofish256, "d43bb7556ea32e46f2a282b7d45b4e0d57ff739d4dc92c1bd7fc01700cc8216f",
                    "90afe91bb288544f2c32dc239b2635e6", "6cb4561c40bf0a9705931cb6d408e7fa"},
        BlockVector{Square, "00000000000000000000000000000000", "00000000000000000000000000000000",
                    "3c00428f8abbc0b84f057cc19c26f8cf"},
        BlockVector{Square, "000102030405060708090a0b0c0d0e0f", "000102030405060708090a0b0c0d0e0f",
                    "7c3491d94994e70f0ec2e7a5ccb5a14f"}));

// The first block of an encrypted buffer, computed with the library cipher keyed by the hash
// prefix the cipher takes: shows key length, hash and round count of the password path.
template <class Algorithm>
Bytes FirstBlockByLibrary(const Bytes& key, const Bytes& plain) {
  typename Algorithm::Encryption encryption(key.data(), key.size());
  Bytes block = XorFF(Bytes(plain.begin(), plain.begin() + Algorithm::BLOCKSIZE));
  encryption.ProcessBlock(block.data());
  return block;
}

TEST(PasswordKeyTest, FirstBlockMatchesLibraryCipherWithHashedKey) {
  const Bytes plain = Sample(64);
  const TRipeMD128Digest d128 = RipeMD128(kPassword);
  const TRipeMD256Digest d256 = RipeMD256(kPassword);
  const Bytes k128(d128.begin(), d128.end());
  const Bytes k256(d256.begin(), d256.end());
  const Bytes k8(d128.begin(), d128.begin() + 8);
  struct Case {
    int id;
    Bytes expected;
  };
  const Case cases[] = {
      {Rijndael128, FirstBlockByLibrary<CryptoPP::AES>(k128, plain)},
      {Rijndael256, FirstBlockByLibrary<CryptoPP::AES>(k256, plain)},
      {DesSingle, FirstBlockByLibrary<CryptoPP::DES>(k8, plain)},
      {Blowfish, FirstBlockByLibrary<CryptoPP::Blowfish>(k256, plain)},
      {Twofish128, FirstBlockByLibrary<CryptoPP::Twofish>(k128, plain)},
      {Twofish256, FirstBlockByLibrary<CryptoPP::Twofish>(k256, plain)},
      {Square, FirstBlockByLibrary<CryptoPP::Square>(k128, plain)},
  };
  for (const Case& c : cases) {
    const Bytes encrypted = Encrypted(c.id, plain);
    EXPECT_EQ(Bytes(encrypted.begin(), encrypted.begin() + static_cast<long>(c.expected.size())),
              c.expected)
        << kCipherNames[static_cast<size_t>(c.id)];
  }
}

constexpr std::array<size_t, kCipherCount> kBlockSizes = {16, 16, 8, 24, 8, 16, 16, 16};

TEST(CreateCipherTest, BlockSizes) {
  for (int id = 0; id < kCipherCount; ++id) {
    EXPECT_EQ(CreateCipher(id, kPassword)->BlockSize(), kBlockSizes[static_cast<size_t>(id)]);
  }
}

struct RoundTripCase {
  int id;
  size_t length;
};

std::string RoundTripName(const ::testing::TestParamInfo<RoundTripCase>& info) {
  return std::string(kCipherNames[static_cast<size_t>(info.param.id)]) + "_" +
         std::to_string(info.param.length);
}

std::vector<RoundTripCase> RoundTripCases() {
  std::vector<RoundTripCase> cases;
  for (int id = 0; id < kCipherCount; ++id) {
    const size_t block = kBlockSizes[static_cast<size_t>(id)];
    for (size_t length :
         {size_t{0}, size_t{1}, block - 1, block, block + 1, size_t{256}, size_t{4056}}) {
      cases.push_back({id, length});
    }
  }
  return cases;
}

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, DecryptRestoresAndEveryByteIsEncrypted) {
  const Bytes plain = Sample(GetParam().length);
  const Bytes encrypted = Encrypted(GetParam().id, plain);
  ASSERT_EQ(encrypted.size(), plain.size());
  // Every block, and a shorter tail, comes out changed.
  const size_t block = kBlockSizes[static_cast<size_t>(GetParam().id)];
  for (size_t offset = 0; offset < plain.size(); offset += block) {
    const size_t end = std::min(offset + block, plain.size());
    EXPECT_FALSE(std::equal(plain.begin() + static_cast<long>(offset),
                            plain.begin() + static_cast<long>(end),
                            encrypted.begin() + static_cast<long>(offset)))
        << "bytes from " << offset;
  }
  EXPECT_EQ(Decrypted(GetParam().id, encrypted), plain);
}

INSTANTIATE_TEST_SUITE_P(AllCiphers, RoundTripTest, ::testing::ValuesIn(RoundTripCases()),
                         RoundTripName);

// Rijndael_128, the database's default, checked block by block against AES itself.
class Rijndael128Test : public ::testing::Test {
 protected:
  Rijndael128Test() {
    const TRipeMD128Digest key = RipeMD128(kPassword);
    aes_.SetKey(key.data(), key.size());
  }
  Bytes Aes(Bytes block) {
    aes_.ProcessBlock(block.data());
    return block;
  }
  static Bytes Slice(const Bytes& bytes, size_t offset, size_t length) {
    return Bytes(bytes.begin() + static_cast<long>(offset),
                 bytes.begin() + static_cast<long>(offset + length));
  }
  static Bytes Xor(Bytes left, const Bytes& right) {
    for (size_t i = 0; i < left.size(); ++i) left[i] ^= right[i];
    return left;
  }

  CryptoPP::AES::Encryption aes_;
  const Bytes ones_ = Bytes(16, 0xFF);
};

TEST_F(Rijndael128Test, FirstBlocksFollowTheFeedbackRule) {
  const Bytes plain = Sample(48);
  const Bytes encrypted = Encrypted(Rijndael128, plain);
  const Bytes c0 = Aes(Xor(Slice(plain, 0, 16), ones_));
  EXPECT_EQ(Slice(encrypted, 0, 16), c0);
  const Bytes feedback = Xor(ones_, c0);
  EXPECT_EQ(Slice(encrypted, 16, 16), Aes(Xor(Slice(plain, 16, 16), feedback)));
  // Not CBC, which would chain the previous cipher block alone.
  EXPECT_NE(Slice(encrypted, 16, 16), Aes(Xor(Slice(plain, 16, 16), c0)));
}

TEST_F(Rijndael128Test, TailOfAPageIsXoredWithTheEncryptedFeedback) {
  const Bytes plain = Sample(4056);
  const Bytes encrypted = Encrypted(Rijndael128, plain);
  Bytes feedback = ones_;
  for (size_t offset = 0; offset + 16 <= plain.size(); offset += 16) {
    feedback = Xor(feedback, Slice(encrypted, offset, 16));
  }
  const Bytes key_stream = Slice(Aes(feedback), 0, 8);
  EXPECT_EQ(Slice(encrypted, 4048, 8), Xor(Slice(plain, 4048, 8), key_stream));
}

TEST(EncryptPageTest, SameBytesGiveTheSameResultEveryTime) {
  const Bytes plain = Sample(4056);
  for (int id = 0; id < kCipherCount; ++id) {
    EXPECT_EQ(Encrypted(id, plain), Encrypted(id, plain)) << kCipherNames[static_cast<size_t>(id)];
  }
}

TEST(EncryptPageTest, WrongPasswordGivesBytesWithAnotherCrc) {
  const Bytes plain = Sample(4056);
  const uint32_t crc = Crc32(plain.data(), plain.size());
  for (int id = 0; id < kCipherCount; ++id) {
    const Bytes wrong = Decrypted(id, Encrypted(id, plain), "tabshift-secret");
    EXPECT_NE(Crc32(wrong.data(), wrong.size()), crc) << kCipherNames[static_cast<size_t>(id)];
  }
}

TEST(EncryptPageTest, UnknownIdsLeaveBytesUnchanged) {
  const Bytes plain = Sample(256);
  for (int id : {-1, 8, 9, 255}) {
    EXPECT_EQ(Encrypted(id, plain), plain) << id;
    EXPECT_EQ(Decrypted(id, plain), plain) << id;
  }
}

TEST(EncryptPageTest, PasswordBytesAreTakenAsTheyStand) {
  const Bytes plain = Sample(64);
  // A byte of the upper code page half, and an embedded zero: neither ends the password.
  EXPECT_NE(Encrypted(Rijndael128, plain, std::string_view("pa\xE9", 3)),
            Encrypted(Rijndael128, plain, std::string_view("pa\xC9", 3)));
  EXPECT_NE(Encrypted(Rijndael128, plain, std::string_view("pa\0x", 4)),
            Encrypted(Rijndael128, plain, std::string_view("pa", 2)));
  EXPECT_EQ(Decrypted(Rijndael128, Encrypted(Rijndael128, plain, ""), ""), plain);
}

TEST(EncryptPageTest, FailureInsideIsReportedNotRaised) {
  EXPECT_FALSE(EncryptPage(Rijndael128, nullptr, 16, kPassword));
  EXPECT_FALSE(DecryptPage(DesTriple, nullptr, 24, kPassword));
  EXPECT_TRUE(EncryptPage(Rijndael128, nullptr, 0, kPassword));
}

// Cached key schedules must follow the password and id of each call.
TEST(EncryptPageTest, CachedSchedulesFollowIdAndPassword) {
  const Bytes plain = Sample(100);
  auto fresh = [&](int id, std::string_view password) {
    Bytes data = plain;
    CreateCipher(id, password)->EncodeBuffer(data.data(), data.size());
    return data;
  };
  for (std::string_view password : {"first", "second", "first"}) {
    for (int id : {0, 5, 0, 3}) EXPECT_EQ(Encrypted(id, plain, password), fresh(id, password));
  }
}

TEST(EncryptPageTest, ThreadsGetTheSameResult) {
  const Bytes plain = Sample(4056);
  const Bytes expected = Encrypted(Rijndael128, plain);
  Bytes from_threads[2];
  std::thread first([&] { from_threads[0] = Encrypted(Rijndael128, plain); });
  std::thread second([&] { from_threads[1] = Encrypted(Rijndael128, plain, "other"); });
  first.join();
  second.join();
  EXPECT_EQ(from_threads[0], expected);
  EXPECT_EQ(Decrypted(Rijndael128, from_threads[1], "other"), plain);
}

TEST(CreateCipherTest, RejectsUnknownIdsAndOverlongKeys) {
  const Bytes key(33, 1);
  EXPECT_THROW(CreateCipher(8, kPassword), ECipherException);
  EXPECT_THROW(CreateCipher(Square, std::span<const uint8_t>(key.data(), 17)), ECipherException);
  EXPECT_THROW(CreateCipher(DesSingle, std::span<const uint8_t>(key.data(), 16)), ECipherException);
  EXPECT_THROW(CreateCipher(Rijndael128, std::span<const uint8_t>(key.data(), 20)),
               ECipherException);
  EXPECT_THROW(CreateCipher(DesTriple, std::span<const uint8_t>(key.data(), 25)), ECipherException);
}

}  // namespace
}  // namespace tabshift
