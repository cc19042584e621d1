// Item-by-item reading and writing of the table metadata record. Every item (an integer, a
// flag, a name, a block of bytes) moves by itself and carries its own native error code, so a
// short read or write tells exactly which item of which definition failed. Readers check every
// length against what the stream can still hold before they allocate anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Stream.h"

namespace tabshift {

// The two codes of a short name: its length byte and its characters.
struct NameCodes {
  int32_t length;
  int32_t text;
};

// Engine names are at most 255 characters: a one-byte length and the characters.
inline constexpr size_t kMaxShortNameLength = 255;

class TABSMetaWriter {
 public:
  explicit TABSMetaWriter(TStream& stream) : stream_(stream) {}

  void WriteBytes(const void* data, size_t count, int32_t code);
  void WriteUInt8(uint8_t value, int32_t code) { WriteBytes(&value, 1, code); }
  // A flag is stored as 0 or 255.
  void WriteFlag(bool value, int32_t code) { WriteUInt8(value ? 255 : 0, code); }
  void WriteInt32(int32_t value, int32_t code);
  void WriteInt64(int64_t value, int32_t code);
  // One length byte n and n characters.
  void WriteShortName(std::string_view name, NameCodes codes);
  // A short name preceded by one byte holding its own size n + 1 (0 for a 255-character name,
  // whose size does not fit the byte).
  void WriteByteWrappedName(std::string_view name, NameCodes codes);
  // A short name preceded by an int32 holding its own size n + 1.
  void WriteInt32WrappedName(std::string_view name, NameCodes codes);

 private:
  TStream& stream_;
};

class TABSMetaReader {
 public:
  explicit TABSMetaReader(TStream& stream) : stream_(stream) {}

  void ReadBytes(void* data, size_t count, int32_t code);
  // `count` bytes into a new buffer; a count the stream cannot hold fails before allocating.
  std::vector<uint8_t> ReadBlock(int64_t count, int32_t code);
  uint8_t ReadUInt8(int32_t code);
  // Any byte but 0 is true.
  bool ReadFlag(int32_t code) { return ReadUInt8(code) != 0; }
  int32_t ReadInt32(int32_t code);
  int64_t ReadInt64(int32_t code);
  // A list count; a negative count is refused with `code`. Lists read their items one by one,
  // so a large count cannot make them allocate more than the stream holds.
  int32_t ReadCount(int32_t code);
  std::string ReadShortName(NameCodes codes);
  std::string ReadByteWrappedName(NameCodes codes);
  std::string ReadInt32WrappedName(NameCodes codes);

  // Raises the error of a malformed item with `code`; `what` names the item.
  [[noreturn]] void RaiseMalformed(int32_t code, std::string_view what, int64_t value);

 private:
  std::string NameFromWrappedBlock(const std::vector<uint8_t>& block, int32_t code);

  TStream& stream_;
};

}  // namespace tabshift
