// Message formatting with the placeholders this system's messages use:
//   %[index:][-][width][.precision]type   with type d (signed), u (unsigned), x (hexadecimal,
//   capital digits) or s (text); the type letter may be written in either case; "%%" is '%'.
// A precision on d, u and x is the minimum number of digits (zero-filled); on s the maximum
// number of characters. A placeholder with no argument left, or whose argument has the wrong
// kind, raises EConvertError instead of reading anything that was not passed.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tabshift {

class FormatArg {
 public:
  enum class Kind : uint8_t { Integer, Text };

  template <typename Integer>
  requires std::is_integral_v<Integer> &&(!std::is_same_v<Integer, bool>)
      FormatArg(Integer value)  // NOLINT(google-explicit-constructor): used in argument lists
      : kind_(Kind::Integer), integer_(static_cast<int64_t>(value)), wide_(sizeof(Integer) > 4) {}
  FormatArg(std::string_view text) : kind_(Kind::Text), text_(text) {}    // NOLINT
  FormatArg(const std::string& text) : kind_(Kind::Text), text_(text) {}  // NOLINT
  FormatArg(const char* text) : kind_(Kind::Text), text_(text) {}         // NOLINT

  Kind kind() const { return kind_; }
  int64_t integer() const { return integer_; }
  // True when the value came from a 64-bit type; hexadecimal output of negative values uses it.
  bool wide() const { return wide_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  int64_t integer_ = 0;
  bool wide_ = false;
  std::string_view text_;
};

std::string Format(std::string_view format, std::span<const FormatArg> arguments);
inline std::string Format(std::string_view format, std::initializer_list<FormatArg> arguments) {
  return Format(format, std::span<const FormatArg>(arguments.begin(), arguments.size()));
}

}  // namespace tabshift
