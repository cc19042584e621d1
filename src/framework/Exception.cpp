#include "framework/Exception.h"

#include "framework/Format.h"

namespace tabshift {

EAssertionFailed::EAssertionFailed(const std::string& text, const std::string& unit, int line)
    : Exception(Format("%s (%s, line %d)", {text, unit, line})) {}

}  // namespace tabshift
