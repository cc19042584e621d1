#include "UdbBlockCodec.h"

#include "udb/Crypts.h"

namespace tabshift::udbgen {
namespace {

constexpr uint32_t kHeaderChecksum = 6;
constexpr uint32_t kHeaderChecked = 8;

uint16_t Get16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t Length(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(bytes.size());
}

}  // namespace

UdbBlockCodec::UdbBlockCodec(const UdbDescription& description) {
  if (description.decoder == DecoderKind::Plain) {
    decoder_ = std::make_unique<udb::PlainDecoder>();
    return;
  }
  decoder_ = std::make_unique<udb::CipherDecoder>();
  decoder_->SetKey(description.password);
}

void UdbBlockCodec::SetChecksum(std::vector<uint8_t>& decoded) const {
  Put16(decoded.data(), decoder_->Checksum(decoded.data(), Length(decoded), 2));
}

void UdbBlockCodec::Encode(std::vector<uint8_t>& decoded) {
  SetChecksum(decoded);
  decoder_->Encode(decoded.data(), Length(decoded), 0);
}

void UdbBlockCodec::Decode(std::vector<uint8_t>& stored, bool& checksum_ok) {
  decoder_->Decode(stored.data(), Length(stored), 0);
  checksum_ok = decoder_->Checksum(stored.data(), Length(stored), 2) == Get16(stored.data());
}

std::vector<uint8_t> UdbBlockCodec::Garbage(uint32_t length) {
  std::vector<uint8_t> garbage(length);
  for (uint32_t i = 0; i < length; ++i) garbage[i] = static_cast<uint8_t>(0xA5 + 7 * i);
  // The plain decoder's fixed checksum 0x5343 turns into 0x5242 here, so it fails as well.
  Put16(garbage.data(), decoder_->Checksum(garbage.data(), length, 2) ^ 0x0101);
  decoder_->Encode(garbage.data(), length, 0);
  return garbage;
}

void UdbBlockCodec::EncodeHeader(std::vector<uint8_t>& decoded) {
  Put16(&decoded[kHeaderChecksum],
        decoder_->Checksum(decoded.data(), Length(decoded), kHeaderChecked));
  decoder_->Encode(decoded.data(), Length(decoded), kHeaderChecksum);
}

void UdbBlockCodec::DecodeHeader(std::vector<uint8_t>& stored, bool& checksum_ok) {
  decoder_->Decode(stored.data(), Length(stored), kHeaderChecksum);
  checksum_ok = decoder_->Checksum(stored.data(), Length(stored), kHeaderChecked) ==
                Get16(&stored[kHeaderChecksum]);
}

}  // namespace tabshift::udbgen
