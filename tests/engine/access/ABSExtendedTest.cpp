#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "engine/access/ABSExtended.h"

namespace tabshift {
namespace {

Extended80 Make(uint16_t sign_and_exponent, uint64_t significand) {
  Extended80 bytes{};
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(significand >> (8 * i));
  bytes[8] = static_cast<uint8_t>(sign_and_exponent);
  bytes[9] = static_cast<uint8_t>(sign_and_exponent >> 8);
  return bytes;
}

uint64_t Bits(double value) {
  return std::bit_cast<uint64_t>(value);
}

struct ExtendedCase {
  const char* what;
  uint16_t sign_and_exponent;
  uint64_t significand;
  uint64_t double_bits;
};

class ExtendedToDoubleCases : public ::testing::TestWithParam<ExtendedCase> {};

TEST_P(ExtendedToDoubleCases, RoundsToNearestEven) {
  const ExtendedCase& c = GetParam();
  EXPECT_EQ(Bits(ExtendedToDouble(Make(c.sign_and_exponent, c.significand))), c.double_bits)
      << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ExtendedToDoubleCases,
    ::testing::Values(
        ExtendedCase{"one", 0x3FFF, 0x8000000000000000, 0x3FF0000000000000},
        ExtendedCase{"minus two", 0xC000, 0x8000000000000000, 0xC000000000000000},
        ExtendedCase{"zero", 0x0000, 0, 0},
        ExtendedCase{"minus zero", 0x8000, 0, 0x8000000000000000},
        ExtendedCase{"pi, rounded down", 0x4000, 0xC90FDAA22168C235, 0x400921FB54442D18},
        ExtendedCase{"one third, rounded down", 0x3FFD, 0xAAAAAAAAAAAAAAAB, 0x3FD5555555555555},
        ExtendedCase{"two thirds, rounded up", 0x3FFE, 0xAAAAAAAAAAAAAAAB, 0x3FE5555555555555},
        ExtendedCase{"tie to even stays", 0x3FFF, 0x8000000000000400, 0x3FF0000000000000},
        ExtendedCase{"tie to even goes up", 0x3FFF, 0x8000000000000C00, 0x3FF0000000000002},
        ExtendedCase{"above the tie", 0x3FFF, 0x8000000000000401, 0x3FF0000000000001},
        ExtendedCase{"carry into the exponent", 0x3FFF, 0xFFFFFFFFFFFFFFFF, 0x4000000000000000},
        ExtendedCase{"largest double", 0x43FE, 0xFFFFFFFFFFFFF800, 0x7FEFFFFFFFFFFFFF},
        ExtendedCase{"rounds past the largest", 0x43FE, 0xFFFFFFFFFFFFFC00, 0x7FF0000000000000},
        ExtendedCase{"too large", 0x43FF, 0x8000000000000000, 0x7FF0000000000000},
        ExtendedCase{"too large, negative", 0xFFFE, 0x8000000000000000, 0xFFF0000000000000},
        ExtendedCase{"smallest normal", 0x3C01, 0x8000000000000000, 0x0010000000000000},
        ExtendedCase{"largest denormal", 0x3C00, 0xFFFFFFFFFFFFF000, 0x000FFFFFFFFFFFFF},
        ExtendedCase{"denormal rounds to normal", 0x3C00, 0xFFFFFFFFFFFFF800, 0x0010000000000000},
        ExtendedCase{"smallest denormal", 0x3BCD, 0x8000000000000000, 0x0000000000000001},
        ExtendedCase{"half the smallest: tie to zero", 0x3BCC, 0x8000000000000000, 0},
        ExtendedCase{"three quarters of the smallest", 0x3BCC, 0xC000000000000000, 1},
        ExtendedCase{"far too small", 0x0001, 0x8000000000000000, 0},
        ExtendedCase{"extended denormal", 0x8000, 0x0000000000000001, 0x8000000000000000},
        ExtendedCase{"unnormal", 0x3FFF, 0x4000000000000000, 0x3FE0000000000000},
        ExtendedCase{"infinity", 0x7FFF, 0x8000000000000000, 0x7FF0000000000000},
        ExtendedCase{"minus infinity", 0xFFFF, 0x8000000000000000, 0xFFF0000000000000},
        ExtendedCase{"quiet NaN", 0x7FFF, 0xC000000000000000, 0x7FF8000000000000},
        ExtendedCase{"signalling NaN becomes quiet", 0x7FFF, 0x8000000000000800,
                     0x7FF8000000000001},
        ExtendedCase{"NaN payload keeps its top bits", 0xFFFF, 0xC123456789ABCDEF,
                     0xFFF82468ACF13579}));

TEST(DoubleToExtendedTest, KnownEncodings) {
  EXPECT_EQ(DoubleToExtended(1.0), Make(0x3FFF, 0x8000000000000000));
  EXPECT_EQ(DoubleToExtended(-0.0), Make(0x8000, 0));
  EXPECT_EQ(DoubleToExtended(0.0), Make(0, 0));
  EXPECT_EQ(DoubleToExtended(std::numeric_limits<double>::infinity()),
            Make(0x7FFF, 0x8000000000000000));
  EXPECT_EQ(DoubleToExtended(std::numeric_limits<double>::denorm_min()),
            Make(0x3BCD, 0x8000000000000000));
  EXPECT_EQ(DoubleToExtended(std::bit_cast<double>(uint64_t{0x000FFFFFFFFFFFFF})),
            Make(0x3C00, 0xFFFFFFFFFFFFF000));
  EXPECT_EQ(DoubleToExtended(std::numeric_limits<double>::max()), Make(0x43FE, 0xFFFFFFFFFFFFF800));
}

TEST(DoubleToExtendedTest, EveryKindOfDoubleSurvivesTheRoundTrip) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = random();
    const double value = std::bit_cast<double>(bits);
    const double back = ExtendedToDouble(DoubleToExtended(value));
    if (std::isnan(value)) {
      EXPECT_TRUE(std::isnan(back));
      EXPECT_EQ(Bits(back), bits | 0x0008000000000000) << std::hex << bits;
    } else {
      EXPECT_EQ(Bits(back), bits) << std::hex << bits;
    }
  }
  for (uint64_t bits : {uint64_t{1}, uint64_t{0x8000000000000001}, uint64_t{0x7FF0000000000000},
                        uint64_t{0x0010000000000000}, uint64_t{0x7FEFFFFFFFFFFFFF}}) {
    EXPECT_EQ(Bits(ExtendedToDouble(DoubleToExtended(std::bit_cast<double>(bits)))), bits);
  }
}

}  // namespace
}  // namespace tabshift
