#include "engine/access/ABSRowCopyValues.h"

#include "framework/LittleEndian.h"

namespace tabshift {

bool HasGraphicHeader(std::span<const uint8_t> blob) {
  if (blob.size() < kGraphicHeaderSize) return false;
  const uint8_t* at = blob.data();
  const auto first = GetLE<uint16_t>(at);
  const auto second = GetLE<uint16_t>(at);
  const auto length = GetLE<int32_t>(at);
  return first == 1 && second == 256 &&
         static_cast<int64_t>(length) == static_cast<int64_t>(blob.size() - kGraphicHeaderSize);
}

std::span<const uint8_t> WithoutGraphicHeader(std::span<const uint8_t> blob) {
  return HasGraphicHeader(blob) ? blob.subspan(kGraphicHeaderSize) : blob;
}

std::vector<uint8_t> WideTextToBlobBytes(std::u16string_view text) {
  std::vector<uint8_t> bytes(text.size() * 2);
  uint8_t* at = bytes.data();
  for (const char16_t c : text) PutLE<uint16_t>(at, c);
  return bytes;
}

std::u16string BlobBytesToWideText(std::span<const uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  const uint8_t* at = bytes.data();
  for (char16_t& c : text) c = static_cast<char16_t>(GetLE<uint16_t>(at));
  return text;
}

}  // namespace tabshift
