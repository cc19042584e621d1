// The block rules of a Udb file set under its decoder: every head, page and page index block
// carries in bytes 0 and 1 the checksum of the rest and is stored encoded from byte 0; the file
// header keeps bytes 0 to 5 plain, its checksum at 6 covering bytes 8 on, encoded from byte 6.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "UdbWriter.h"
#include "udb/Decoder.h"

namespace tabshift::udbgen {

class UdbBlockCodec {
 public:
  explicit UdbBlockCodec(const UdbDescription& description);

  uint16_t Version() const { return decoder_->Version(); }
  void SetChecksum(std::vector<uint8_t>& decoded) const;
  // Checksum set, then encoded, in place.
  void Encode(std::vector<uint8_t>& decoded);
  void Decode(std::vector<uint8_t>& stored, bool& checksum_ok);
  // A stored block of garbage whose checksum fails, whatever the decoder.
  std::vector<uint8_t> Garbage(uint32_t length);

  void EncodeHeader(std::vector<uint8_t>& decoded);
  void DecodeHeader(std::vector<uint8_t>& stored, bool& checksum_ok);

 private:
  std::unique_ptr<udb::TUdbDecoder> decoder_;
};

}  // namespace tabshift::udbgen
