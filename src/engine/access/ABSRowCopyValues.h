// The byte-level rules of copying one field value between tables: the 8-byte header that old
// picture BLOBs carry, and the exchange between 16-bit text and BLOB bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tabshift {

// A picture BLOB written by old programs starts with the 16-bit values 1 and 256 and then the
// int32 length of the picture that follows.
inline constexpr size_t kGraphicHeaderSize = 8;

// Whether the BLOB starts with that header and the header's length matches the rest.
bool HasGraphicHeader(std::span<const uint8_t> blob);
// The BLOB as it is copied: without the header when it has one, otherwise whole.
std::span<const uint8_t> WithoutGraphicHeader(std::span<const uint8_t> blob);

// The text's 16-bit characters, two little-endian bytes each, without a terminator.
std::vector<uint8_t> WideTextToBlobBytes(std::u16string_view text);
// length / 2 16-bit characters read from the bytes; an odd last byte is left out.
std::u16string BlobBytesToWideText(std::span<const uint8_t> bytes);

}  // namespace tabshift
