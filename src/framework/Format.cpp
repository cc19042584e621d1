#include "framework/Format.h"

#include <cctype>
#include <optional>

#include "framework/Exception.h"

namespace tabshift {
namespace {

struct Placeholder {
  std::optional<size_t> index;
  bool left_justify = false;
  std::optional<size_t> width;
  std::optional<size_t> precision;
  char type = 0;
};

class Formatter {
 public:
  Formatter(std::string_view format, std::span<const FormatArg> arguments)
      : format_(format), arguments_(arguments) {}

  std::string Run() {
    std::string result;
    while (position_ < format_.size()) {
      const char c = format_[position_++];
      if (c != '%') {
        result += c;
      } else if (Peek() == '%') {
        ++position_;
        result += '%';
      } else {
        result += Render(Parse());
      }
    }
    return result;
  }

 private:
  char Peek() const { return position_ < format_.size() ? format_[position_] : '\0'; }

  [[noreturn]] void Invalid() const {
    throw EConvertError("Format '" + std::string(format_) +
                        "' invalid or incompatible with argument");
  }

  std::optional<size_t> Number() {
    if (!std::isdigit(static_cast<unsigned char>(Peek()))) return std::nullopt;
    size_t value = 0;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) {
      value = value * 10 + static_cast<size_t>(format_[position_++] - '0');
      if (value > 100000) Invalid();
    }
    return value;
  }

  Placeholder Parse() {
    Placeholder placeholder;
    std::optional<size_t> number = Number();
    if (number && Peek() == ':') {
      ++position_;
      placeholder.index = number;
      number = Number();
    }
    if (!number && Peek() == '-') {
      ++position_;
      placeholder.left_justify = true;
      number = Number();
    }
    placeholder.width = number;
    if (Peek() == '.') {
      ++position_;
      placeholder.precision = Number();
      if (!placeholder.precision) Invalid();
    }
    placeholder.type = static_cast<char>(std::tolower(static_cast<unsigned char>(Peek())));
    if (placeholder.type != 'd' && placeholder.type != 'u' && placeholder.type != 'x' &&
        placeholder.type != 's') {
      Invalid();
    }
    ++position_;
    return placeholder;
  }

  const FormatArg& Take(const Placeholder& placeholder) {
    if (placeholder.index) next_argument_ = *placeholder.index;
    if (next_argument_ >= arguments_.size()) {
      throw EConvertError("No argument for format '" + std::string(format_) + "'");
    }
    return arguments_[next_argument_++];
  }

  static std::string Digits(const FormatArg& argument, char type) {
    const int64_t value = argument.integer();
    if (type == 'd') return std::to_string(value < 0 ? -(value + 1) + uint64_t{1} : value);
    uint64_t bits = static_cast<uint64_t>(value);
    if (!argument.wide() && value < 0) bits &= 0xFFFFFFFFULL;
    if (type == 'u') return std::to_string(bits);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    do {
      hex.insert(hex.begin(), kHex[bits & 15]);
      bits >>= 4;
    } while (bits != 0);
    return hex;
  }

  std::string Render(const Placeholder& placeholder) {
    const FormatArg& argument = Take(placeholder);
    std::string text;
    if (placeholder.type == 's') {
      if (argument.kind() != FormatArg::Kind::Text) Invalid();
      text = argument.text();
      if (placeholder.precision && text.size() > *placeholder.precision) {
        text.resize(*placeholder.precision);
      }
    } else {
      if (argument.kind() != FormatArg::Kind::Integer) Invalid();
      text = Digits(argument, placeholder.type);
      if (placeholder.precision && text.size() < *placeholder.precision) {
        text.insert(0, *placeholder.precision - text.size(), '0');
      }
      if (placeholder.type == 'd' && argument.integer() < 0) text.insert(0, 1, '-');
    }
    if (placeholder.width && text.size() < *placeholder.width) {
      const size_t fill = *placeholder.width - text.size();
      text.insert(placeholder.left_justify ? text.size() : 0, fill, ' ');
    }
    return text;
  }

  std::string_view format_;
  std::span<const FormatArg> arguments_;
  size_t position_ = 0;
  size_t next_argument_ = 0;
};

}  // namespace

std::string Format(std::string_view format, std::span<const FormatArg> arguments) {
  return Formatter(format, arguments).Run();
}

}  // namespace tabshift
