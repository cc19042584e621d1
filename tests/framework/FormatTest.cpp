#include <gtest/gtest.h>

#include "framework/Exception.h"
#include "framework/Format.h"

namespace tabshift {
namespace {

struct FormatCase {
  const char* format;
  std::vector<FormatArg> arguments;
  const char* expected;
};

class FormatCases : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatCases, Renders) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(Format(c.format, std::span<const FormatArg>(c.arguments)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Placeholders, FormatCases,
    ::testing::Values(
        FormatCase{"plain", {}, "plain"},
        FormatCase{"%s: %s", {"EUdbError", "Wrong password"}, "EUdbError: Wrong password"},
        FormatCase{"Log file '%S' opened...", {"t.1.log"}, "Log file 't.1.log' opened..."},
        FormatCase{"%d", {-42}, "-42"}, FormatCase{"%d", {INT64_MIN}, "-9223372036854775808"},
        FormatCase{"[%5d]", {42}, "[   42]"}, FormatCase{"[%-5d]", {42}, "[42   ]"},
        FormatCase{"%.5d", {42}, "00042"}, FormatCase{"%.5d", {-42}, "-00042"},
        FormatCase{"%.8d.tape", {8}, "00000008.tape"}, FormatCase{"%x", {255}, "FF"},
        FormatCase{"%x", {-1}, "FFFFFFFF"}, FormatCase{"%x", {int64_t{-1}}, "FFFFFFFFFFFFFFFF"},
        FormatCase{"%u", {-1}, "4294967295"},
        FormatCase{"%.3s|%6s", {"abcdef", "ab"}, "abc|    ab"},
        FormatCase{"%1:s %0:s %s", {"a", "b"}, "b a b"},
        FormatCase{"100%% of %d", {3}, "100% of 3"},
        FormatCase{"%D and %X", {10, 10}, "10 and A"}));

TEST(FormatTest, MissingArgumentIsDetected) {
  try {
    Format("%s and %s", {"one"});
    FAIL() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "No argument for format '%s and %s'");
  }
}

TEST(FormatTest, WrongKindsAndBadSyntaxAreDetected) {
  const std::vector<std::pair<const char*, std::vector<FormatArg>>> cases = {
      {"%d", {"text"}}, {"%s", {5}}, {"%q", {5}}, {"%", {}}, {"%.d", {5}}, {"%5", {5}}};
  for (const auto& [format, arguments] : cases) {
    try {
      Format(format, std::span<const FormatArg>(arguments));
      ADD_FAILURE() << format;
    } catch (const EConvertError& error) {
      EXPECT_EQ(error.Message(),
                std::string("Format '") + format + "' invalid or incompatible with argument");
    }
  }
}

}  // namespace
}  // namespace tabshift
