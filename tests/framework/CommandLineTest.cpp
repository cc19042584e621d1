#include <gtest/gtest.h>

#include "framework/CommandLine.h"

namespace tabshift {
namespace {

struct ParamCase {
  const char* name;
  std::vector<const char*> parameters;
  const char* key;
  const char* expected;
};

class ParamValueCases : public ::testing::TestWithParam<ParamCase> {};

TEST_P(ParamValueCases, FindsTheValue) {
  const ParamCase& c = GetParam();
  std::vector<const char*> argv = {"tabshift"};
  argv.insert(argv.end(), c.parameters.begin(), c.parameters.end());
  SetCommandLine(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(ParamValue(c.key, '=', false, "-/", true), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ParamValueCases,
    ::testing::Values(
        ParamCase{"Plain", {"iFileName=a.udb", "oFileName=b.abs"}, "iFileName", "a.udb"},
        ParamCase{"SecondKey", {"iFileName=a.udb", "oFileName=b.abs"}, "oFileName", "b.abs"},
        ParamCase{"Missing", {"oFileName=b.abs"}, "iFileName", ""},
        ParamCase{"NoParameters", {}, "iFileName", ""},
        ParamCase{"CapitalsAfterSlash", {"/IFILENAME=a.udb"}, "iFileName", "a.udb"},
        ParamCase{"SmallAfterDash", {"-ifilename=a.udb"}, "iFileName", "a.udb"},
        ParamCase{"OnlyOneSwitchCharRemoved", {"--iFileName=a.udb"}, "iFileName", ""},
        ParamCase{"BlanksTrimmed", {"iFileName=  my file.udb  "}, "iFileName", "my file.udb"},
        ParamCase{"BlanksAroundKey", {" iFileName =x"}, "iFileName", "x"},
        ParamCase{"QuotesDropped", {"iFileName=\" my file.udb\""}, "iFileName", "my file.udb"},
        ParamCase{"KeyWithoutSeparator", {"iFileName"}, "iFileName", "iFileName"},
        ParamCase{"SwitchedKeyWithoutSeparator", {"-iFileName"}, "iFileName", "-iFileName"},
        ParamCase{"EmptyValue", {"iFileName="}, "iFileName", ""},
        ParamCase{
            "FirstOccurrenceWins", {"iFileName=first", "iFileName=second"}, "iFileName", "first"},
        ParamCase{
            "EmptyFirstOccurrenceStillWins", {"iFileName=", "iFileName=second"}, "iFileName", ""},
        ParamCase{"ValueKeepsLaterSeparators", {"iFileName=a=b"}, "iFileName", "a=b"},
        ParamCase{"PrefixIsNoMatch", {"iFileNameX=a"}, "iFileName", ""},
        ParamCase{"OtherParametersIgnored", {"-aqtime", "junk", "iFileName=a"}, "iFileName", "a"}),
    [](const ::testing::TestParamInfo<ParamCase>& info) { return info.param.name; });

TEST(CommandLineTest, SwitchesMatchWithoutRegardToCase) {
  const char* argv[] = {"tabshift", "/AQTime", "iFileName=a"};
  SetCommandLine(3, argv);
  EXPECT_TRUE(FindCmdLineSwitch("aqtime"));
  EXPECT_FALSE(FindCmdLineSwitch("iFileName=a"));
  const char* without[] = {"tabshift", "aqtime"};
  SetCommandLine(2, without);
  EXPECT_FALSE(FindCmdLineSwitch("aqtime"));
  EXPECT_EQ(ParamCount(), 1);
  EXPECT_EQ(ParamStr(1), "aqtime");
  EXPECT_EQ(ParamStr(2), "");
}

}  // namespace
}  // namespace tabshift
