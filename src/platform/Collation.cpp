#include "platform/Collation.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tabshift::platform {
namespace {

std::string LocaleFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0') continue;
    std::string name = value;
    name = name.substr(0, name.find_first_of(".@"));  // drop the charset and modifier
    if (name.empty() || name == "C" || name == "POSIX") return "root";
    return name;
  }
  return "root";
}

std::string CodePageFromEnvironment() {
  const char* value = std::getenv("TABSHIFT_CODEPAGE");
  return value != nullptr && *value != '\0' ? value : "windows-1252";
}

struct CollatorDeleter {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorDeleter>;

CollatorPtr OpenCollator(const std::string& locale, UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  CollatorPtr collator(ucol_open(locale == "root" ? "" : locale.c_str(), &status));
  if (U_FAILURE(status)) throw std::runtime_error("ICU collator unavailable: " + locale);
  ucol_setStrength(collator.get(), strength);
  ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
  if (U_FAILURE(status)) throw std::runtime_error("ICU collator settings refused: " + locale);
  return collator;
}

// The code page is single-byte, so conversion is a lookup table built once through ICU.
struct CodePage {
  std::string name;
  std::array<char16_t, 256> to_wide{};
  std::vector<unsigned char> from_wide = std::vector<unsigned char>(65536, '?');

  explicit CodePage(std::string page) : name(std::move(page)) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name.c_str(), &status);
    if (U_FAILURE(status) || ucnv_getMaxCharSize(converter) != 1) {
      if (converter != nullptr) ucnv_close(converter);
      throw std::runtime_error("not a single-byte code page: " + name);
    }
    for (int byte = 0; byte < 256; ++byte) {
      const char source = static_cast<char>(byte);
      UChar target[2] = {u'?', 0};
      status = U_ZERO_ERROR;
      ucnv_toUChars(converter, target, 2, &source, 1, &status);
      to_wide[byte] = U_SUCCESS(status) && target[0] != 0xFFFD ? target[0] : u'?';
      if (byte == 0) to_wide[byte] = 0;
    }
    ucnv_close(converter);
    for (int byte = 255; byte >= 0; --byte) from_wide[to_wide[byte]] = byte;
  }
};

struct Collation {
  std::string locale = LocaleFromEnvironment();
  CodePage code_page{CodePageFromEnvironment()};
  CollatorPtr case_aware = OpenCollator(locale, UCOL_IDENTICAL);
  CollatorPtr ignore_case = OpenCollator(locale, UCOL_SECONDARY);
  CollatorPtr base_letters = OpenCollator(locale, UCOL_PRIMARY);
};

const Collation& Instance() {
  static const Collation collation;
  return collation;
}

int CompareUnits(const UChar* left, size_t left_length, const UChar* right, size_t right_length,
                 bool ignore_case) {
  const Collation& collation = Instance();
  UCollator* collator = ignore_case ? collation.ignore_case.get() : collation.case_aware.get();
  return ucol_strcoll(collator, left, static_cast<int32_t>(left_length), right,
                      static_cast<int32_t>(right_length));
}

// Widens 8-bit text into a caller's buffer, on the stack for the short keys of an index.
class WideBuffer {
 public:
  explicit WideBuffer(std::string_view text) {
    UChar* target = text.size() <= small_.size() ? small_.data() : Large(text.size());
    const auto& table = Instance().code_page.to_wide;
    for (size_t i = 0; i < text.size(); ++i) target[i] = table[static_cast<unsigned char>(text[i])];
    data_ = target;
    size_ = text.size();
  }
  const UChar* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  UChar* Large(size_t size) {
    large_.resize(size);
    return large_.data();
  }
  std::array<UChar, 256> small_;
  std::vector<UChar> large_;
  const UChar* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace

int CompareAnsi(std::string_view left, std::string_view right, bool ignore_case) {
  const WideBuffer wide_left(left);
  const WideBuffer wide_right(right);
  return CompareUnits(wide_left.data(), wide_left.size(), wide_right.data(), wide_right.size(),
                      ignore_case);
}

int CompareWide(std::u16string_view left, std::u16string_view right, bool ignore_case) {
  return CompareUnits(left.data(), left.size(), right.data(), right.size(), ignore_case);
}

int CompareAnsiBaseLetters(std::string_view left, std::string_view right) {
  const WideBuffer wide_left(left);
  const WideBuffer wide_right(right);
  return ucol_strcoll(Instance().base_letters.get(), wide_left.data(),
                      static_cast<int32_t>(wide_left.size()), wide_right.data(),
                      static_cast<int32_t>(wide_right.size()));
}

int CompareWideBaseLetters(std::u16string_view left, std::u16string_view right) {
  return ucol_strcoll(Instance().base_letters.get(), left.data(), static_cast<int32_t>(left.size()),
                      right.data(), static_cast<int32_t>(right.size()));
}

std::u16string AnsiToWide(std::string_view text) {
  const auto& table = Instance().code_page.to_wide;
  std::u16string wide(text.size(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) wide[i] = table[static_cast<unsigned char>(text[i])];
  return wide;
}

std::string WideToAnsi(std::u16string_view text) {
  const auto& table = Instance().code_page.from_wide;
  std::string narrow(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) narrow[i] = static_cast<char>(table[text[i]]);
  return narrow;
}

std::string CollationLocale() {
  return Instance().locale;
}
std::string AnsiCodePage() {
  return Instance().code_page.name;
}

}  // namespace tabshift::platform
