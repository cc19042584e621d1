#include <gtest/gtest.h>

#include "engine/access/ABSExcept.h"
#include "framework/Component.h"

namespace tabshift {
namespace {

TEST(EABSExceptionTest, TextFormGivesTheCodeWithFiveDigits) {
  const EABSException error(20092, "Cannot create database. Database is already open");
  EXPECT_EQ(error.Message(),
            "Cannot create database. Database is already open - Native error: 20092");
  EXPECT_EQ(error.NativeError(), 20092);
  EXPECT_STREQ(error.ClassName(), "EABSException");
  EXPECT_EQ(EABSException(42, "x").Message(), "x - Native error: 00042");
}

TEST(EABSExceptionTest, FormatFormFillsArgumentsOrExplains) {
  EXPECT_EQ(EABSException(30289, "Unknown DataType: '%s'", {"37"}).Message(),
            "Unknown DataType: '37' - Native error: 30289");
  EXPECT_EQ(EABSException(42, "n=%d", {7}).Message(), "n=7 - Native error:    42");
  EXPECT_EQ(
      EABSException(30453, "Cannot create table '%s' with field: %s %s(%d)", {"T", "F"}).Message(),
      "Cannot create table '%s' with field: %s %s(%d) Arguments are invalid! - Native "
      "error: 30453");
}

TEST(EABSExceptionTest, RaisersThrowTheRightClass) {
  EXPECT_THROW(RaiseEngineError(10034, "Nil pointer occured"), EABSException);
  try {
    RaiseEngineErrorFmt(30051, "Cannot cast from '%s' to '%s'", {"BLOB", "INTEGER"});
  } catch (const Exception& error) {
    EXPECT_STREQ(error.ClassName(), "EABSException");
    EXPECT_EQ(error.Message(), "Cannot cast from 'BLOB' to 'INTEGER' - Native error: 30051");
  }
}

struct ResultCase {
  int32_t code;
  const char* text;
  const char* message;
};

class EngineErrorCases : public ::testing::TestWithParam<ResultCase> {};

TEST_P(EngineErrorCases, MessageCarriesCodeAndText) {
  const ResultCase& c = GetParam();
  try {
    CheckResultCode(c.code, c.text);
    FAIL();
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.Message(), c.message);
    EXPECT_EQ(error.ErrorCode(), c.code);
    EXPECT_STREQ(error.ClassName(), "EABSEngineError");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, EngineErrorCases,
    ::testing::Values(ResultCase{-1, "ignored", "Voreruza Zizavu Error # -1 Error adding record"},
                      ResultCase{-4, "",
                                 "Voreruza Zizavu Error # -4 Error updating record - record was "
                                 "modified by other process"},
                      ResultCase{-7, "",
                                 "Voreruza Zizavu Error # -7 Error deleting record - record was "
                                 "deleted by other process"},
                      ResultCase{-8, "Field 'A' cannot be NULL",
                                 "Voreruza Zizavu Error # -8 Field 'A' cannot be NULL"},
                      ResultCase{
                          -11, "",
                          "Voreruza Zizavu Error # -11 Cannot cancel operation in temporary mode"},
                      ResultCase{-12, "", "Voreruza Zizavu Error # -12 Record is locked"},
                      ResultCase{-13, "", "Voreruza Zizavu Error # -13 Table is locked"},
                      ResultCase{-99, "given", "Voreruza Zizavu Error # -99 "}));

TEST(CheckResultCodeTest, ZeroRaisesNothingAndEngineErrorsAreDatabaseErrors) {
  EXPECT_NO_THROW(CheckResultCode(0, "anything"));
  EXPECT_THROW(CheckResultCode(-13, ""), EDatabaseError);
}

TEST(DatabaseErrorTest, NamedComponentPrefixesItsName) {
  TComponent unnamed(nullptr);
  TComponent named(nullptr);
  named.SetName("upTo70500Dsk");
  EXPECT_THROW(
      {
        try {
          DatabaseError("Database name missing", &named);
        } catch (const EDatabaseError& error) {
          EXPECT_EQ(error.Message(), "upTo70500Dsk: Database name missing");
          throw;
        }
      },
      EDatabaseError);
  try {
    DatabaseErrorFmt("Duplicate database name '%s'", {"A"}, &unnamed);
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Duplicate database name 'A'");
  }
}

}  // namespace
}  // namespace tabshift
