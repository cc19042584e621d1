// The 10-byte x87 extended float of EXTENDED fields: a 64-bit significand with an explicit
// integer bit, a 15-bit exponent biased by 16383 and a sign bit, little-endian. The bytes are
// kept exactly as stored; arithmetic goes through double, converted here in software so the
// result does not depend on the platform's long double.
#pragma once

#include <array>
#include <cstdint>

namespace tabshift {

using Extended80 = std::array<uint8_t, 10>;

// Exact: every double has an extended form.
Extended80 DoubleToExtended(double value);
// Rounded to the nearest double, ties to even; too large gives an infinity, too small a
// denormal or zero. NaNs keep their sign and the top bits of their payload and become quiet;
// encodings the x87 itself refuses (pseudo-NaNs, pseudo-infinities, unnormals) are read by
// their bits: an all-ones exponent gives an infinity or a NaN, any other exponent the value
// significand x 2^(exponent - 16383 - 63).
double ExtendedToDouble(const Extended80& bytes);

}  // namespace tabshift
