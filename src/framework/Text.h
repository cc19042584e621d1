// Small text helpers shared by every layer.
#pragma once

#include <string>
#include <string_view>

namespace tabshift {

// ASCII letters a to z turned into capitals; every other byte unchanged.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Equal without regard to ASCII letter case.
bool SameText(std::string_view left, std::string_view right);
// Negative, zero or positive, without regard to ASCII letter case.
int CompareText(std::string_view left, std::string_view right);
// Leading and trailing characters up to and including the blank (control characters) removed.
std::string Trim(std::string_view text);

}  // namespace tabshift
