#include <gtest/gtest.h>

#include "engine/access/ABSRowCopyValues.h"

namespace tabshift {
namespace {

std::vector<uint8_t> Picture(std::vector<uint8_t> header, size_t body) {
  for (size_t i = 0; i < body; ++i) header.push_back(static_cast<uint8_t>(0xA0 + i));
  return header;
}

struct HeaderCase {
  const char* name;
  std::vector<uint8_t> blob;
  size_t copied;
};

class GraphicHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(GraphicHeader, IsLeftOutOnlyWhenItMatchesTheLength) {
  const std::vector<uint8_t>& blob = GetParam().blob;
  const std::span<const uint8_t> copied = WithoutGraphicHeader(blob);
  ASSERT_EQ(copied.size(), GetParam().copied);
  EXPECT_EQ(copied.data(), blob.data() + (blob.size() - copied.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GraphicHeader,
    ::testing::Values(HeaderCase{"Matching", Picture({1, 0, 0, 1, 3, 0, 0, 0}, 3), 3},
                      HeaderCase{"HeaderOnly", Picture({1, 0, 0, 1, 0, 0, 0, 0}, 0), 0},
                      HeaderCase{"WrongLength", Picture({1, 0, 0, 1, 4, 0, 0, 0}, 3), 11},
                      HeaderCase{"WrongMarker", Picture({1, 0, 1, 0, 3, 0, 0, 0}, 3), 11},
                      HeaderCase{"NegativeLength", Picture({1, 0, 0, 1, 0xF8, 0xFF, 0xFF, 0xFF}, 0),
                                 8},
                      HeaderCase{"TooShort", {1, 0, 0, 1, 0, 0, 0}, 7}, HeaderCase{"Empty", {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WideTextAndBlob, TextBecomesTwoBytesPerCharacterAndBack) {
  const std::u16string text = u"A\u00e9\u4e2d";
  const std::vector<uint8_t> bytes = WideTextToBlobBytes(text);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x41, 0, 0xE9, 0, 0x2D, 0x4E}));
  EXPECT_EQ(BlobBytesToWideText(bytes), text);
  std::vector<uint8_t> odd = bytes;
  odd.push_back(0x7F);
  EXPECT_EQ(BlobBytesToWideText(odd), text);
  EXPECT_EQ(BlobBytesToWideText({}), u"");
}

}  // namespace
}  // namespace tabshift
