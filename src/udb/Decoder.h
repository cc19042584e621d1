// Decoders of Udb blocks. Every block of a Udb file after the first six header bytes is stored
// transformed by the file set's decoder and protected by a 16-bit checksum the decoder
// computes. The file header records the decoder version that wrote it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace tabshift::udb {

// The transforms act on bytes [start, length) of a buffer, a range of 1 to 65535 bytes.
class TUdbDecoder {
 public:
  virtual ~TUdbDecoder() = default;
  virtual void SetKey(std::string_view password) = 0;
  virtual void Encode(uint8_t* buffer, uint32_t length, uint32_t start) = 0;
  virtual void Decode(uint8_t* buffer, uint32_t length, uint32_t start) = 0;
  virtual uint16_t Checksum(const uint8_t* buffer, uint32_t length, uint32_t start) const = 0;
  virtual uint16_t Version() const = 0;
};

// Version 0: bytes stored as they are, checksum always 0x5343.
class PlainDecoder final : public TUdbDecoder {
 public:
  static constexpr uint16_t kChecksum = 0x5343;
  void SetKey(std::string_view) override {}
  void Encode(uint8_t*, uint32_t, uint32_t) override {}
  void Decode(uint8_t*, uint32_t, uint32_t) override {}
  uint16_t Checksum(const uint8_t*, uint32_t, uint32_t) const override { return kChecksum; }
  uint16_t Version() const override { return 0; }
};

// The decoder every new file set gets: the password cipher, or the pass-through decoder when
// the program was started with the switch "aqtime". Decided once per process, at first use,
// from the recorded command line.
std::unique_ptr<TUdbDecoder> NewFileSetDecoder();
bool ProcessUsesPlainDecoder();

}  // namespace tabshift::udb
