#include "engine/core/ABSBitsArray.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

TABSBitsArray FromVector(const std::vector<bool>& bits) {
  TABSBitsArray array(static_cast<int32_t>(bits.size()));
  for (size_t i = 0; i < bits.size(); ++i) array.SetBit(static_cast<int32_t>(i), bits[i]);
  return array;
}

TEST(BitsArrayTest, RankAndSelectOfASmallArray) {
  TABSBitsArray array(10);
  array.SetBit(2, true);
  array.SetBit(7, true);
  array.SetBit(7, true);  // no change
  EXPECT_EQ(array.SetBitsCount(), 2);
  EXPECT_EQ(array.Rank(7), 1);
  EXPECT_EQ(array.Select(1), 7);
  EXPECT_EQ(array.Select(0), 2);
  EXPECT_EQ(array.Bytes()[0], 0x84);
  EXPECT_EQ(array.Bytes()[1], 0x00);
}

TEST(BitsArrayTest, OutOfRangePositionsFailWithTheirCodes) {
  TABSBitsArray array(10);
  array.SetBit(3, true);
  EXPECT_ENGINE_ERROR(array.GetBit(10), 10394,
                      "Invalid bit no = 10, number of bits = 10 - Native error: 10394");
  EXPECT_ENGINE_ERROR(array.SetBit(-1, true), 10395,
                      "Invalid bit no = -1, number of bits = 10 - Native error: 10395");
  EXPECT_ENGINE_CODE(array.Rank(10), 10429);
  EXPECT_ENGINE_CODE(array.Select(1), 10430);
  EXPECT_ENGINE_CODE(array.Select(-1), 10430);
}

TEST(BitsArrayTest, ShrinkRecountsAndGrowthIsClear) {
  TABSBitsArray array(20);
  array.SetAll(true);
  EXPECT_EQ(array.SetBitsCount(), 20);
  EXPECT_EQ(array.Select(13), 13);
  array.SetSize(11);
  EXPECT_EQ(array.SetBitsCount(), 11);
  array.SetSize(30);
  EXPECT_EQ(array.SetBitsCount(), 11);
  for (int32_t i = 11; i < 30; ++i) EXPECT_FALSE(array.GetBit(i)) << i;
  array.SetAll(false);
  EXPECT_EQ(array.SetBitsCount(), 0);
  EXPECT_EQ(array.FindFirst(true), -1);
}

class BitsArrayRandomTest : public ::testing::TestWithParam<std::pair<int32_t, int>> {};

TEST_P(BitsArrayRandomTest, AgreesWithANaiveCount) {
  const auto [size, percent_set] = GetParam();
  std::mt19937 random(static_cast<uint32_t>(size * 31 + percent_set));
  std::vector<bool> bits(static_cast<size_t>(size));
  for (auto&& bit : bits) bit = static_cast<int>(random() % 100) < percent_set;
  const TABSBitsArray array = FromVector(bits);

  std::vector<int32_t> set_positions;
  for (int32_t i = 0; i < size; ++i) {
    if (bits[size_t(i)]) set_positions.push_back(i);
  }
  ASSERT_EQ(array.SetBitsCount(), static_cast<int32_t>(set_positions.size()));
  int32_t rank = 0;
  for (int32_t i = 0; i < size; ++i) {
    ASSERT_EQ(array.Rank(i), rank) << i;
    if (bits[size_t(i)]) ++rank;
  }
  for (size_t k = 0; k < set_positions.size(); ++k) {
    ASSERT_EQ(array.Select(static_cast<int32_t>(k)), set_positions[k]) << k;
  }
  for (const bool value : {true, false}) {
    int32_t expected = -1;
    for (int32_t i = size - 1; i >= -1; --i) {
      ASSERT_EQ(array.FindNext(i, value), expected) << i;
      if (i >= 0 && bits[size_t(i)] == value) expected = i;
    }
    expected = -1;
    for (int32_t i = 0; i <= size; ++i) {
      ASSERT_EQ(array.FindPrior(i, value), expected) << i;
      if (i < size && bits[size_t(i)] == value) expected = i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BitsArrayRandomTest,
                         ::testing::Values(std::pair{1, 50}, std::pair{7, 50}, std::pair{64, 3},
                                           std::pair{200, 50}, std::pair{1000, 1},
                                           std::pair{1000, 99}, std::pair{1003, 100},
                                           std::pair{4099, 0}, std::pair{5000, 30}));

TEST(BitsArrayStreamTest, StoredFormIsCountsThenBytes) {
  TABSBitsArray array(10);
  array.SetBit(0, true);
  array.SetBit(9, true);
  TMemoryStream stream;
  array.SaveToStream(stream);
  const std::vector<uint8_t> expected = {10, 0, 0, 0, 2, 0, 0, 0, 0x01, 0x02};
  ASSERT_EQ(stream.Size(), 10);
  EXPECT_EQ(std::vector<uint8_t>(stream.Memory(), stream.Memory() + 10), expected);

  stream.SetPosition(0);
  TABSBitsArray loaded;
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.Size(), 10);
  EXPECT_EQ(loaded.SetBitsCount(), 2);
  EXPECT_TRUE(loaded.GetBit(9));
}

TEST(BitsArrayStreamTest, CorruptStreamsFailAndKeepTheArray) {
  TABSBitsArray array(100);
  array.SetBit(50, true);
  TMemoryStream good;
  array.SaveToStream(good);
  const std::vector<uint8_t> bytes(good.Memory(), good.Memory() + good.Size());

  auto load = [](const std::vector<uint8_t>& data) {
    TMemoryStream stream;
    stream.Write(data.data(), data.size());
    stream.SetPosition(0);
    TABSBitsArray target(3);
    target.SetBit(1, true);
    try {
      target.LoadFromStream(stream);
    } catch (const EABSException& error) {
      EXPECT_EQ(target.Size(), 3);
      EXPECT_EQ(target.SetBitsCount(), 1);
      return error.NativeError();
    }
    return 0;
  };
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    const int32_t code = load(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
    EXPECT_TRUE(code == 10431 || code == 10432) << cut << " " << code;
  }
  auto absurd = bytes;
  absurd[3] = 0x7F;  // two thousand million bits in a 21-byte stream
  EXPECT_EQ(load(absurd), 10432);
  auto negative = bytes;
  negative[3] = 0x80;
  EXPECT_EQ(load(negative), 10432);
  auto wrong_count = bytes;
  wrong_count[4] = 2;
  EXPECT_EQ(load(wrong_count), 10432);
}

}  // namespace
}  // namespace tabshift
