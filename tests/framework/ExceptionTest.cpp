#include <gtest/gtest.h>

#include "framework/Exception.h"

namespace tabshift {
namespace {

TEST(ExceptionTest, ClassNamesAreReportedThroughTheRoot) {
  const auto name_of = [](auto&& raise) -> std::string {
    try {
      raise();
    } catch (const Exception& error) {
      return error.ClassName();
    }
    return "";
  };
  EXPECT_EQ(name_of([] { throw Exception("x"); }), "Exception");
  EXPECT_EQ(name_of([] { throw EDatabaseError("x"); }), "EDatabaseError");
  EXPECT_EQ(name_of([] { throw EFCreateError("x"); }), "EFCreateError");
  EXPECT_EQ(name_of([] { throw EAssertionFailed("x", "u", 1); }), "EAssertionFailed");
}

TEST(ExceptionTest, AssertionMessageNamesUnitAndLine) {
  const EAssertionFailed error("Table count mismatch", "upto70500", 212);
  EXPECT_EQ(error.Message(), "Table count mismatch (upto70500, line 212)");
  EXPECT_STREQ(error.what(), "Table count mismatch (upto70500, line 212)");
}

}  // namespace
}  // namespace tabshift
