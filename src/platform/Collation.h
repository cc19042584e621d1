// Locale-aware comparison of 8-bit and 16-bit text, the order in which string index keys are
// stored. It must be the same in every process that opens a database, so it depends only on:
//  - the collation locale, taken once from LC_ALL, LC_COLLATE or LANG (in that order; the
//    first that is set wins); unset, "C" or "POSIX" select the root collation;
//  - the 8-bit code page, "windows-1252" unless TABSHIFT_CODEPAGE names another single-byte
//    code page known to ICU.
// Punctuation counts like any other character. Case-aware comparison is a total order: text
// that the locale ranks equal is ordered by its code points. Case-insensitive comparison ranks
// text equal when it differs only in letter case.
#pragma once

#include <string>
#include <string_view>

namespace tabshift::platform {

// Negative, zero or positive like strcmp. Text is compared up to its given length, including
// any embedded zero bytes.
int CompareAnsi(std::string_view left, std::string_view right, bool ignore_case);
int CompareWide(std::u16string_view left, std::u16string_view right, bool ignore_case);

// The same order on base letters only: case and accents count for nothing. A difference it
// finds in two prefixes holds for any continuations of them, which a case or accent
// difference does not (the base letters of later characters weigh more).
int CompareAnsiBaseLetters(std::string_view left, std::string_view right);
int CompareWideBaseLetters(std::u16string_view left, std::u16string_view right);

// Conversions between the 8-bit code page and UTF-16. A character the code page lacks becomes
// '?'.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

// What is in force, for the log and for tests: an ICU locale name ("root" for the root
// collation) and a code page name.
std::string CollationLocale();
std::string AnsiCodePage();

}  // namespace tabshift::platform
