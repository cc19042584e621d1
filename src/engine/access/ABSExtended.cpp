#include "engine/access/ABSExtended.h"

#include <bit>
#include <cstring>

namespace tabshift {
namespace {

constexpr int kExtendedBias = 16383;
constexpr int kDoubleBias = 1023;
constexpr uint16_t kExtendedMaxExponent = 0x7FFF;
constexpr uint64_t kIntegerBit = uint64_t{1} << 63;
constexpr uint64_t kDoubleFractionMask = (uint64_t{1} << 52) - 1;
constexpr uint64_t kDoubleQuietBit = uint64_t{1} << 51;
constexpr uint64_t kDoubleExponentAllOnes = uint64_t{0x7FF} << 52;

Extended80 Pack(bool negative, uint16_t exponent, uint64_t significand) {
  Extended80 bytes{};
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(significand >> (8 * i));
  const uint16_t top = static_cast<uint16_t>(exponent | (negative ? 0x8000 : 0));
  bytes[8] = static_cast<uint8_t>(top);
  bytes[9] = static_cast<uint8_t>(top >> 8);
  return bytes;
}

// value >> shift, rounded to nearest with ties to even.
uint64_t ShiftRightRoundingToEven(uint64_t value, int shift) {
  if (shift <= 0) return value;
  if (shift > 64) return 0;
  const uint64_t quotient = shift == 64 ? 0 : value >> shift;
  const uint64_t remainder = shift == 64 ? value : value & ((uint64_t{1} << shift) - 1);
  const uint64_t half = uint64_t{1} << (shift - 1);
  const bool round_up = remainder > half || (remainder == half && (quotient & 1) != 0);
  return quotient + (round_up ? 1 : 0);
}

double FromBits(uint64_t bits) {
  return std::bit_cast<double>(bits);
}

}  // namespace

Extended80 DoubleToExtended(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & kDoubleFractionMask;
  if (exponent == 0x7FF) {  // infinity, or NaN with its payload
    return Pack(negative, kExtendedMaxExponent, kIntegerBit | (fraction << 11));
  }
  if (exponent == 0) {
    if (fraction == 0) return Pack(negative, 0, 0);
    // A denormal double is a normal extended: fraction x 2^-1074, normalised.
    const int shift = std::countl_zero(fraction);
    const int unbiased = -1074 + 63 - shift;
    return Pack(negative, static_cast<uint16_t>(unbiased + kExtendedBias), fraction << shift);
  }
  return Pack(negative, static_cast<uint16_t>(exponent - kDoubleBias + kExtendedBias),
              kIntegerBit | (fraction << 11));
}

double ExtendedToDouble(const Extended80& bytes) {
  uint64_t significand = 0;
  for (int i = 7; i >= 0; --i) significand = (significand << 8) | bytes[i];
  const uint16_t top = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  const uint64_t sign = static_cast<uint64_t>(top >> 15) << 63;
  const int exponent = top & kExtendedMaxExponent;

  if (exponent == kExtendedMaxExponent) {
    const uint64_t payload = (significand << 1) >> 12;  // the fraction's top 52 bits
    if ((significand << 1) == 0) return FromBits(sign | kDoubleExponentAllOnes);
    return FromBits(sign | kDoubleExponentAllOnes | kDoubleQuietBit | payload);
  }
  if (significand == 0) return FromBits(sign);

  // value = significand x 2^(e - 16383 - 63); a zero exponent field stands for e = 1.
  const int shift = std::countl_zero(significand);
  significand <<= shift;
  const int unbiased = (exponent == 0 ? 1 : exponent) - kExtendedBias - shift;
  if (unbiased > kDoubleBias) return FromBits(sign | kDoubleExponentAllOnes);
  if (unbiased >= 1 - kDoubleBias) {
    uint64_t mantissa = ShiftRightRoundingToEven(significand, 11);  // 53 bits, maybe 2^53
    int biased = unbiased + kDoubleBias;
    if (mantissa >> 53) {
      mantissa >>= 1;
      ++biased;
    }
    if (biased >= 0x7FF) return FromBits(sign | kDoubleExponentAllOnes);
    return FromBits(sign | (static_cast<uint64_t>(biased) << 52) |
                    (mantissa & kDoubleFractionMask));
  }
  // Denormal: the multiple of 2^-1074; rounding up to 2^52 yields the smallest normal.
  const int denormal_shift = 11 + (1 - kDoubleBias - unbiased);
  return FromBits(sign | ShiftRightRoundingToEven(significand, denormal_shift));
}

}  // namespace tabshift
