#include "engine/disk/ABSCipher.h"

#include <crypto++/blowfish.h>
#include <crypto++/des.h>
#include <crypto++/misc.h>
#include <crypto++/rijndael.h>
#include <crypto++/ripemd.h>
#include <crypto++/square.h>
#include <crypto++/twofish.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace tabshift {
namespace {

void XorBytes(uint8_t* target, const uint8_t* source, size_t count) {
  for (size_t i = 0; i < count; ++i) target[i] ^= source[i];
}

const CryptoPP::byte* AsBytes(std::string_view text) {
  return reinterpret_cast<const CryptoPP::byte*>(text.data());
}

// A standard block cipher; Rijndael picks its round count from the key length (10 rounds for
// 16 bytes, 12 for 24, 14 for 32).
template <class Algorithm>
class TStandardCipher final : public TCipher {
 public:
  explicit TStandardCipher(std::span<const uint8_t> key) : TCipher(Algorithm::BLOCKSIZE) {
    encryption_.SetKey(key.data(), key.size());
    decryption_.SetKey(key.data(), key.size());
  }

 protected:
  void EncryptBlock(const uint8_t* in, uint8_t* out) override { encryption_.ProcessBlock(in, out); }
  void EncryptMaskedBlock(const uint8_t* in, const uint8_t* mask, uint8_t* out) override {
    encryption_.AdvancedProcessBlocks(in, mask, out, Algorithm::BLOCKSIZE,
                                      CryptoPP::BlockTransformation::BT_XorInput);
  }
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) override {
    decryption_.AdvancedProcessBlocks(in, nullptr, out, count * Algorithm::BLOCKSIZE,
                                      CryptoPP::BlockTransformation::BT_AllowParallel);
  }

 private:
  typename Algorithm::Encryption encryption_;
  typename Algorithm::Decryption decryption_;
};

// Triple DES over 24-byte blocks: a block is three 8-byte DES blocks, each passed through
// DES with K1, K2 (decrypting) and K3, with the second and third 32-bit words of the block
// exchanged between the stages. The 24-byte key buffer is the key zero-padded, so a 16-byte
// key leaves K3 all zero.
class TCipher_3TDES final : public TCipher {
 public:
  static constexpr size_t kBlockSize = 24;

  explicit TCipher_3TDES(std::span<const uint8_t> key) : TCipher(kBlockSize) {
    if (key.size() > kBlockSize) throw ECipherException("Triple DES key longer than 24 bytes");
    std::array<uint8_t, kBlockSize> keys{};
    std::copy(key.begin(), key.end(), keys.begin());
    for (size_t i = 0; i < 3; ++i) {
      encryption_[i].SetKey(keys.data() + 8 * i, 8);
      decryption_[i].SetKey(keys.data() + 8 * i, 8);
    }
    CryptoPP::SecureWipeArray(keys.data(), keys.size());
  }

 protected:
  void EncryptBlock(const uint8_t* in, uint8_t* out) override {
    std::memmove(out, in, kBlockSize);
    Encrypt(out);
  }
  void EncryptMaskedBlock(const uint8_t* in, const uint8_t* mask, uint8_t* out) override {
    for (size_t i = 0; i < kBlockSize; ++i) out[i] = in[i] ^ mask[i];
    Encrypt(out);
  }
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) override {
    for (size_t i = 0; i < count; ++i, in += kBlockSize, out += kBlockSize) {
      std::memcpy(out, in, kBlockSize);
      Decrypt(out);
    }
  }

 private:
  static void ExchangeMiddleWords(uint8_t* block) {
    std::swap_ranges(block + 4, block + 8, block + 8);
  }
  static void EachPart(const CryptoPP::BlockTransformation& des, uint8_t* block) {
    for (size_t i = 0; i < 3; ++i) des.ProcessBlock(block + 8 * i);
  }
  void Encrypt(uint8_t* block) const {
    EachPart(encryption_[0], block);
    ExchangeMiddleWords(block);
    EachPart(decryption_[1], block);
    ExchangeMiddleWords(block);
    EachPart(encryption_[2], block);
  }
  void Decrypt(uint8_t* block) const {
    EachPart(decryption_[2], block);
    ExchangeMiddleWords(block);
    EachPart(encryption_[1], block);
    ExchangeMiddleWords(block);
    EachPart(decryption_[0], block);
  }

  std::array<CryptoPP::DES::Encryption, 3> encryption_;
  std::array<CryptoPP::DES::Decryption, 3> decryption_;
};

enum class KeyHash { RipeMD128, RipeMD256 };

struct TCipherKind {
  KeyHash hash;
  size_t max_key_length;
  std::unique_ptr<TCipher> (*create)(std::span<const uint8_t> key);
};

template <class Cipher>
std::unique_ptr<TCipher> Create(std::span<const uint8_t> key) {
  return std::make_unique<Cipher>(key);
}

constexpr std::array<TCipherKind, kCipherCount> kCipherKinds = {{
    {KeyHash::RipeMD128, CryptoPP::Rijndael::MAX_KEYLENGTH,
     &Create<TStandardCipher<CryptoPP::Rijndael>>},
    {KeyHash::RipeMD256, CryptoPP::Rijndael::MAX_KEYLENGTH,
     &Create<TStandardCipher<CryptoPP::Rijndael>>},
    {KeyHash::RipeMD128, CryptoPP::DES::MAX_KEYLENGTH, &Create<TStandardCipher<CryptoPP::DES>>},
    {KeyHash::RipeMD128, TCipher_3TDES::kBlockSize, &Create<TCipher_3TDES>},
    {KeyHash::RipeMD256, CryptoPP::Blowfish::MAX_KEYLENGTH,
     &Create<TStandardCipher<CryptoPP::Blowfish>>},
    {KeyHash::RipeMD128, CryptoPP::Twofish::MAX_KEYLENGTH,
     &Create<TStandardCipher<CryptoPP::Twofish>>},
    {KeyHash::RipeMD256, CryptoPP::Twofish::MAX_KEYLENGTH,
     &Create<TStandardCipher<CryptoPP::Twofish>>},
    {KeyHash::RipeMD128, CryptoPP::Square::MAX_KEYLENGTH,
     &Create<TStandardCipher<CryptoPP::Square>>},
}};

const TCipherKind& CipherKind(int cipher_id) {
  if (cipher_id < 0 || cipher_id >= kCipherCount) throw ECipherException("Unknown cipher");
  return kCipherKinds[static_cast<size_t>(cipher_id)];
}

template <class Hash>
TCipherKey HashedKey(std::string_view password, size_t max_key_length) {
  std::array<uint8_t, Hash::DIGESTSIZE> digest;
  Hash().CalculateDigest(digest.data(), AsBytes(password), password.size());
  const TCipherKey key{
      std::span<const uint8_t>(digest).first(std::min(digest.size(), max_key_length))};
  CryptoPP::SecureWipeArray(digest.data(), digest.size());
  return key;
}

struct TCachedCipher {
  std::string password;
  std::unique_ptr<TCipher> cipher;
};

// Key schedules are kept per thread, since a keyed cipher may not be used by two threads at
// once; each call still starts from the initial vector.
TCipher& KeyedCipher(int cipher_id, std::string_view password) {
  thread_local std::array<TCachedCipher, kCipherCount> cache;
  TCachedCipher& slot = cache[static_cast<size_t>(cipher_id)];
  if (slot.cipher == nullptr || slot.password != password) {
    slot.cipher.reset();
    slot.password.assign(password);
    slot.cipher = CreateCipher(cipher_id, password);
  }
  return *slot.cipher;
}

bool TransformPage(int cipher_id, uint8_t* buffer, size_t length, std::string_view password,
                   void (TCipher::*transform)(uint8_t*, size_t)) {
  if (cipher_id < 0 || cipher_id >= kCipherCount) return true;
  try {
    (KeyedCipher(cipher_id, password).*transform)(buffer, length);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

TRipeMD128Digest RipeMD128(std::string_view data) {
  TRipeMD128Digest digest;
  CryptoPP::RIPEMD128().CalculateDigest(digest.data(), AsBytes(data), data.size());
  return digest;
}

TRipeMD256Digest RipeMD256(std::string_view data) {
  TRipeMD256Digest digest;
  CryptoPP::RIPEMD256().CalculateDigest(digest.data(), AsBytes(data), data.size());
  return digest;
}

TCipherKey::TCipherKey(std::span<const uint8_t> bytes) : length_(bytes.size()) {
  if (bytes.size() > bytes_.size()) throw ECipherException("Cipher key longer than 32 bytes");
  std::copy(bytes.begin(), bytes.end(), bytes_.begin());
}

TCipherKey::~TCipherKey() {
  CryptoPP::SecureWipeArray(bytes_.data(), bytes_.size());
}

TCipherKey DeriveCipherKey(int cipher_id, std::string_view password) {
  const TCipherKind& kind = CipherKind(cipher_id);
  if (kind.hash == KeyHash::RipeMD128) {
    return HashedKey<CryptoPP::RIPEMD128>(password, kind.max_key_length);
  }
  return HashedKey<CryptoPP::RIPEMD256>(password, kind.max_key_length);
}

void TCipher::EncodeBuffer(uint8_t* data, size_t length) {
  if (data == nullptr && length != 0) throw ECipherException("No buffer to encrypt");
  const size_t block_size = block_size_;
  std::array<uint8_t, kMaxBlockSize> feedback;
  feedback.fill(0xFF);
  for (; length >= block_size; data += block_size, length -= block_size) {
    EncryptMaskedBlock(data, feedback.data(), data);
    XorBytes(feedback.data(), data, block_size);
  }
  if (length != 0) {
    std::array<uint8_t, kMaxBlockSize> key_stream;
    EncryptBlock(feedback.data(), key_stream.data());
    XorBytes(data, key_stream.data(), length);
  }
}

void TCipher::DecodeBuffer(uint8_t* data, size_t length) {
  if (data == nullptr && length != 0) throw ECipherException("No buffer to decrypt");
  // Whole blocks are decrypted a chunk at a time, so that fast ciphers can work on several
  // blocks at once; the chunk keeps the cipher text the feedback register needs.
  constexpr size_t kChunkSize = 768;
  static_assert(kChunkSize % 8 == 0 && kChunkSize % 16 == 0 && kChunkSize % 24 == 0);
  const size_t block_size = block_size_;
  std::array<uint8_t, kMaxBlockSize> feedback;
  feedback.fill(0xFF);
  std::array<uint8_t, kChunkSize> cipher_text;
  const size_t whole = length - length % block_size;
  for (size_t done = 0; done < whole;) {
    const size_t chunk = std::min(kChunkSize, whole - done);
    uint8_t* plain = data + done;
    std::memcpy(cipher_text.data(), plain, chunk);
    DecryptBlocks(cipher_text.data(), plain, chunk / block_size);
    for (size_t offset = 0; offset < chunk; offset += block_size) {
      XorBytes(plain + offset, feedback.data(), block_size);
      XorBytes(feedback.data(), cipher_text.data() + offset, block_size);
    }
    done += chunk;
  }
  if (whole != length) {
    std::array<uint8_t, kMaxBlockSize> key_stream;
    EncryptBlock(feedback.data(), key_stream.data());
    XorBytes(data + whole, key_stream.data(), length - whole);
  }
}

std::unique_ptr<TCipher> CreateCipher(int cipher_id, std::span<const uint8_t> key) {
  const TCipherKind& kind = CipherKind(cipher_id);
  if (key.size() > kind.max_key_length) throw ECipherException("Cipher key too long");
  try {
    return kind.create(key);
  } catch (const CryptoPP::Exception& error) {
    throw ECipherException(error.what());
  }
}

std::unique_ptr<TCipher> CreateCipher(int cipher_id, std::string_view password) {
  const TCipherKey key = DeriveCipherKey(cipher_id, password);
  return CreateCipher(cipher_id, key.Bytes());
}

bool EncryptPage(int cipher_id, uint8_t* buffer, size_t length, std::string_view password) {
  return TransformPage(cipher_id, buffer, length, password, &TCipher::EncodeBuffer);
}

bool DecryptPage(int cipher_id, uint8_t* buffer, size_t length, std::string_view password) {
  return TransformPage(cipher_id, buffer, length, password, &TCipher::DecodeBuffer);
}

}  // namespace tabshift
