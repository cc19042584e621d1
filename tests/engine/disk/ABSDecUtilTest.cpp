#include "engine/disk/ABSDecUtil.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tabshift {
namespace {

// The checksum bit by bit: reflected polynomial, register from 0, no final inversion.
uint32_t BitwiseCrc(const uint8_t* data, size_t length) {
  uint32_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0);
  }
  return crc;
}

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc32("abc", 3), 0xCA6598D0u);
  EXPECT_EQ(Crc32("", 0), 0u);
  // Not the usual CRC-32 (0xCBF43926 for these digits).
  EXPECT_NE(Crc32("123456789", 9), 0xCBF43926u);
}

TEST(Crc32Test, MatchesBitwiseDefinitionOverAPage) {
  std::vector<uint8_t> page(4056);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7 + i / 13);
  EXPECT_EQ(Crc32(page.data(), page.size()), BitwiseCrc(page.data(), page.size()));
}

TEST(Crc32Test, ContinuesOverPieces) {
  const std::string_view text = "the page data area";
  const uint32_t head = Crc32(text.data(), 5);
  EXPECT_EQ(Crc32(text.data() + 5, text.size() - 5, head), Crc32(text.data(), text.size()));
}

}  // namespace
}  // namespace tabshift
