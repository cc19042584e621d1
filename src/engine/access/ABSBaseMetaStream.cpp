#include "engine/access/ABSBaseMetaStream.h"

#include <array>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSStreamItems.h"

namespace tabshift {
namespace {

template <typename Integer>
std::array<uint8_t, sizeof(Integer)> LittleEndian(Integer value) {
  std::array<uint8_t, sizeof(Integer)> bytes{};
  auto bits = static_cast<std::make_unsigned_t<Integer>>(value);
  for (uint8_t& byte : bytes) {
    byte = static_cast<uint8_t>(bits & 0xFF);
    bits = static_cast<decltype(bits)>(bits >> 8);
  }
  return bytes;
}

template <typename Integer>
Integer FromLittleEndian(const std::array<uint8_t, sizeof(Integer)>& bytes) {
  std::make_unsigned_t<Integer> bits = 0;
  for (size_t i = bytes.size(); i-- > 0;) {
    bits = static_cast<decltype(bits)>((bits << 8) | bytes[i]);
  }
  return static_cast<Integer>(bits);
}

// The size byte of a byte-wrapped name: n + 1 kept to its low eight bits.
uint8_t WrappedSizeByte(size_t name_length) {
  return static_cast<uint8_t>((name_length + 1) & 0xFF);
}

[[noreturn]] void RaiseInvalidItem(int32_t code, std::string_view what, int64_t value,
                                   int64_t position) {
  RaiseEngineErrorFmt(code, "Invalid %s %d in table metadata. Position = %d",
                      {what, value, position});
}

// Engine names longer than a length byte can count are refused rather than cut.
std::string_view CheckedName(std::string_view name, int32_t code, TStream& stream) {
  if (name.size() > kMaxShortNameLength) {
    RaiseInvalidItem(code, "name length", static_cast<int64_t>(name.size()), stream.Position());
  }
  return name;
}

}  // namespace

void TABSMetaWriter::WriteBytes(const void* data, size_t count, int32_t code) {
  WriteStreamItem(stream_, data, count, code);
}

void TABSMetaWriter::WriteInt32(int32_t value, int32_t code) {
  const auto bytes = LittleEndian(value);
  WriteBytes(bytes.data(), bytes.size(), code);
}

void TABSMetaWriter::WriteInt64(int64_t value, int32_t code) {
  const auto bytes = LittleEndian(value);
  WriteBytes(bytes.data(), bytes.size(), code);
}

void TABSMetaWriter::WriteShortName(std::string_view name, NameCodes codes) {
  const std::string_view text = CheckedName(name, codes.length, stream_);
  WriteUInt8(static_cast<uint8_t>(text.size()), codes.length);
  WriteBytes(text.data(), text.size(), codes.text);
}

void TABSMetaWriter::WriteByteWrappedName(std::string_view name, NameCodes codes) {
  const std::string_view text = CheckedName(name, codes.length, stream_);
  std::string block(1, static_cast<char>(text.size()));
  block.append(text);
  WriteUInt8(WrappedSizeByte(text.size()), codes.length);
  WriteBytes(block.data(), block.size(), codes.text);
}

void TABSMetaWriter::WriteInt32WrappedName(std::string_view name, NameCodes codes) {
  const std::string_view text = CheckedName(name, codes.length, stream_);
  std::string block(1, static_cast<char>(text.size()));
  block.append(text);
  WriteInt32(static_cast<int32_t>(block.size()), codes.length);
  WriteBytes(block.data(), block.size(), codes.text);
}

void TABSMetaReader::ReadBytes(void* data, size_t count, int32_t code) {
  ReadStreamItem(stream_, data, count, code);
}

std::vector<uint8_t> TABSMetaReader::ReadBlock(int64_t count, int32_t code) {
  if (count < 0) RaiseMalformed(code, "block size", count);
  CheckStreamHolds(stream_, count, code);
  std::vector<uint8_t> block(static_cast<size_t>(count));
  ReadBytes(block.data(), block.size(), code);
  return block;
}

uint8_t TABSMetaReader::ReadUInt8(int32_t code) {
  uint8_t value = 0;
  ReadBytes(&value, 1, code);
  return value;
}

int32_t TABSMetaReader::ReadInt32(int32_t code) {
  std::array<uint8_t, 4> bytes{};
  ReadBytes(bytes.data(), bytes.size(), code);
  return FromLittleEndian<int32_t>(bytes);
}

int64_t TABSMetaReader::ReadInt64(int32_t code) {
  std::array<uint8_t, 8> bytes{};
  ReadBytes(bytes.data(), bytes.size(), code);
  return FromLittleEndian<int64_t>(bytes);
}

int32_t TABSMetaReader::ReadCount(int32_t code) {
  const int32_t count = ReadInt32(code);
  if (count < 0) RaiseMalformed(code, "item count", count);
  return count;
}

std::string TABSMetaReader::ReadShortName(NameCodes codes) {
  const uint8_t length = ReadUInt8(codes.length);
  std::string name(length, '\0');
  ReadBytes(name.data(), name.size(), codes.text);
  return name;
}

std::string TABSMetaReader::ReadByteWrappedName(NameCodes codes) {
  const uint8_t size_byte = ReadUInt8(codes.length);
  // A 255-character name has the size 256, which its writer kept to the low byte 0.
  const int64_t size = size_byte == 0 ? int64_t{kMaxShortNameLength} + 1 : size_byte;
  return NameFromWrappedBlock(ReadBlock(size, codes.text), codes.text);
}

std::string TABSMetaReader::ReadInt32WrappedName(NameCodes codes) {
  const int32_t size = ReadInt32(codes.length);
  if (size < 1 || size > static_cast<int32_t>(kMaxShortNameLength) + 1) {
    RaiseMalformed(codes.length, "name size", size);
  }
  return NameFromWrappedBlock(ReadBlock(size, codes.text), codes.text);
}

std::string TABSMetaReader::NameFromWrappedBlock(const std::vector<uint8_t>& block, int32_t code) {
  if (block.front() + size_t{1} != block.size()) RaiseMalformed(code, "name length", block.front());
  return std::string(block.begin() + 1, block.end());
}

void TABSMetaReader::RaiseMalformed(int32_t code, std::string_view what, int64_t value) {
  RaiseInvalidItem(code, what, value, stream_.Position());
}

}  // namespace tabshift
