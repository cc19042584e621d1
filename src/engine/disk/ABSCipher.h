// The cipher suite of the disk database: eight block ciphers keyed from the database password,
// chained by feedback from an initial vector of 0xFF bytes. The page manager encrypts and
// decrypts page data areas and the password check bytes through EncryptPage and DecryptPage.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "framework/Exception.h"

namespace tabshift {

TABSHIFT_DECLARE_EXCEPTION(ECipherException, Exception);

// Cipher ids as stored in the encryption block and in each encrypted page header.
inline constexpr int kCipherCount = 8;
inline constexpr std::array<std::string_view, kCipherCount> kCipherNames = {
    "Rijndael_128", "Rijndael_256", "DES_Single",  "DES_Triple",
    "Blowfish",     "Twofish_128",  "Twofish_256", "Square"};

// Encrypts or decrypts `length` bytes of `buffer` in place with the cipher `cipher_id`, keyed by
// `password` (the password's single-byte characters, no terminator). Every call starts from
// the initial vector, so equal input gives equal output. An id outside 0..7 leaves the bytes
// unchanged and succeeds. Any error inside gives false; the bytes may then be partly changed.
bool EncryptPage(int cipher_id, uint8_t* buffer, size_t length, std::string_view password);
bool DecryptPage(int cipher_id, uint8_t* buffer, size_t length, std::string_view password);

using TRipeMD128Digest = std::array<uint8_t, 16>;
using TRipeMD256Digest = std::array<uint8_t, 32>;
TRipeMD128Digest RipeMD128(std::string_view data);
TRipeMD256Digest RipeMD256(std::string_view data);

// The key a cipher is set up with: the first bytes of the password's hash, as many as both the
// hash and the cipher allow.
class TCipherKey {
 public:
  explicit TCipherKey(std::span<const uint8_t> bytes);
  ~TCipherKey();
  std::span<const uint8_t> Bytes() const { return {bytes_.data(), length_}; }

 private:
  std::array<uint8_t, 32> bytes_{};
  size_t length_ = 0;
};

TCipherKey DeriveCipherKey(int cipher_id, std::string_view password);

// A keyed block cipher with the database's feedback chaining. Each Encode or Decode call starts
// with a fresh feedback register equal to the initial vector; the key schedule is reused.
//
// Encryption, block size b, feedback F: for each whole block C = E(P xor F), F = F xor C; a
// tail of r < b bytes is P xor the first r bytes of E(F). Decryption inverts it.
class TCipher {
 public:
  static constexpr size_t kMaxBlockSize = 24;

  virtual ~TCipher() = default;
  TCipher(const TCipher&) = delete;
  TCipher& operator=(const TCipher&) = delete;

  size_t BlockSize() const { return block_size_; }
  void EncodeBuffer(uint8_t* data, size_t length);
  void DecodeBuffer(uint8_t* data, size_t length);

 protected:
  explicit TCipher(size_t block_size) : block_size_(block_size) {}

  // out = E(in); in and out may be the same block.
  virtual void EncryptBlock(const uint8_t* in, uint8_t* out) = 0;
  // out = E(in xor mask); in and out may be the same block.
  virtual void EncryptMaskedBlock(const uint8_t* in, const uint8_t* mask, uint8_t* out) = 0;
  // Decrypts `count` consecutive blocks from `in` to `out`, which do not overlap.
  virtual void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) = 0;

 private:
  size_t block_size_;
};

// A cipher of the given id keyed with `key` as it stands; raises ECipherException for an
// unknown id or a key length the cipher does not take.
std::unique_ptr<TCipher> CreateCipher(int cipher_id, std::span<const uint8_t> key);
// A cipher of the given id keyed from a password.
std::unique_ptr<TCipher> CreateCipher(int cipher_id, std::string_view password);

}  // namespace tabshift
