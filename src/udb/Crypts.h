// The password cipher of Udb files (decoder version 1): a reversible byte transform keyed by
// 13 bytes derived from the password, and a 16-bit word-sum checksum.
#pragma once

#include <array>

#include "udb/Decoder.h"

namespace tabshift::udb {

class CipherDecoder final : public TUdbDecoder {
 public:
  using Key = std::array<uint8_t, 13>;

  // The key is all zero until SetKey is called.
  void SetKey(std::string_view password) override;
  void Encode(uint8_t* buffer, uint32_t length, uint32_t start) override;
  void Decode(uint8_t* buffer, uint32_t length, uint32_t start) override;
  uint16_t Checksum(const uint8_t* buffer, uint32_t length, uint32_t start) const override;
  uint16_t Version() const override { return 1; }

  const Key& KeyBytes() const { return key_; }
  static Key DeriveKey(std::string_view password);

 private:
  uint16_t KeyWord(int index) const;

  Key key_{};
};

}  // namespace tabshift::udb
