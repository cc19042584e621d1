#include <gtest/gtest.h>

#include "VariantTestSupport.h"
#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

using namespace test;
using R = TABSCompareResult;

// The common type of every pair when comparing: row = left type 1..24, column = right type
// 1..24, 0 = none.
constexpr int kComparisonTypes[24][24] = {
    /* CHAR       */ {1, 2, 3, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 15, 16, 17, 0, 1, 2, 1, 1, 0, 0},
    /* WIDECHAR   */ {2, 2, 2, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 15, 16, 17, 0, 2, 2, 2, 2, 0, 0},
    /* STRING     */ {3, 2, 3, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 15, 16, 17, 0, 3, 4, 3, 3, 0, 0},
    /* WIDESTRING */ {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 15, 16, 17, 0, 4, 4, 4, 4, 0, 0},
    /* SHORTINT   */ {1,  2,  3,  4,  5,  6, 7, 8, 6, 10, 11, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 5, 22, 0,  0},
    /* SMALLINT   */ {1,  2,  3,  4,  6,  6, 7, 8, 6, 10, 11, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 6, 22, 0,  0},
    /* INTEGER    */ {1,  2,  3,  4,  7,  7, 7, 8, 7, 7,  8, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 7, 22, 0, 0},
    /* LARGEINT   */ {1,  2,  3,  4,  8,  8, 8, 8, 8, 8,  8, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 8, 22, 0, 0},
    /* BYTE       */ {1,  2,  3,  4,  6,  6, 7, 8, 9, 10, 11, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 9, 22, 0,  0},
    /* WORD       */ {1,  2,  3,  4,  7,  7, 7, 8, 10, 10, 11, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 10, 22, 0,  0},
    /* CARDINAL   */ {1,  2,  3,  4,  8,  8, 8, 8, 11, 11, 11, 12,
                      13, 14, 15, 16, 17, 0, 0, 0, 11, 22, 0,  0},
    /* SINGLE     */ {1,  2,  3,  4,  12, 12, 12, 12, 12, 12, 12, 12,
                      13, 14, 15, 16, 17, 0,  0,  0,  12, 22, 0,  0},
    /* FLOAT      */ {1,  2,  3,  4,  13, 13, 13, 13, 13, 13, 13, 13,
                      13, 14, 15, 16, 17, 0,  0,  0,  13, 22, 0,  0},
    /* EXTENDED   */ {1,  2,  3,  4,  14, 14, 14, 14, 14, 14, 14, 14,
                      14, 14, 15, 16, 17, 0,  0,  0,  14, 22, 0,  0},
    /* DATE       */ {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
                      15, 15, 15, 17, 17, 0,  0,  0,  0,  0,  0,  0},
    /* TIME       */ {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,
                      16, 16, 17, 16, 17, 0,  0,  0,  0,  0,  0,  0},
    /* DATETIME   */ {17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17,
                      17, 17, 17, 17, 17, 0,  0,  0,  0,  0,  0,  0},
    /* BLOB       */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* MEMO       */ {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0},
    /* WIDEMEMO   */ {2, 2, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0},
    /* LOGICAL    */ {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 0, 0, 0, 0, 0, 21, 0, 0, 0},
    /* CURRENCY   */ {1,  2,  3, 4, 22, 22, 22, 22, 22, 22, 22, 12,
                      13, 14, 0, 0, 0,  0,  0,  0,  0,  22, 0,  0},
    /* BYTES      */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* VARBYTES   */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

TEST(CommonTypeTest, EveryPairForComparison) {
  for (int left = 1; left <= 24; ++left) {
    for (int right = 1; right <= 24; ++right) {
      EXPECT_EQ(CommonType(static_cast<BaseDataType>(left), static_cast<BaseDataType>(right), true),
                kComparisonTypes[left - 1][right - 1])
          << DataTypeName(static_cast<BaseDataType>(left)) << " with "
          << DataTypeName(static_cast<BaseDataType>(right));
    }
  }
  EXPECT_EQ(CommonType(bdtUnknown, bdtInteger, true), bdtUnknown);
  EXPECT_EQ(CommonType(bdtInteger, static_cast<BaseDataType>(25), true), bdtUnknown);
}

TEST(CommonTypeTest, OutsideComparisonTextAgainstDateGivesTheText) {
  for (int left = 1; left <= 24; ++left) {
    for (int right = 1; right <= 24; ++right) {
      const auto l = static_cast<BaseDataType>(left);
      const auto r = static_cast<BaseDataType>(right);
      const bool text_and_date = (IsBaseStringType(l) && IsBaseDateTimeType(r)) ||
                                 (IsBaseDateTimeType(l) && IsBaseStringType(r));
      const int expected = text_and_date ? (IsBaseStringType(l) ? left : right)
                                         : kComparisonTypes[left - 1][right - 1];
      EXPECT_EQ(CommonType(l, r, false), expected)
          << DataTypeName(l) << " with " << DataTypeName(r);
    }
  }
}

TEST(ExpressionResultTypeTest, PrefersTheOperandWhoseBaseIsCommon) {
  EXPECT_EQ(ExpressionResultType(adtAutoInc, adtSmallInt), adtAutoInc);
  EXPECT_EQ(ExpressionResultType(adtSmallInt, adtAutoInc), adtAutoInc);
  EXPECT_EQ(ExpressionResultType(adtByte, adtShortInt), adtSmallInt);
  EXPECT_EQ(ExpressionResultType(adtGuid, adtString), adtString);
  EXPECT_EQ(ExpressionResultType(adtTimeStamp, adtInteger), adtTimeStamp);
  EXPECT_EQ(ExpressionResultType(adtWord, adtInteger), adtInteger);
  EXPECT_EQ(ExpressionResultType(adtCardinal, adtSmallInt), adtLargeInt);
  EXPECT_EQ(ExpressionResultType(adtBlob, adtString), adtUnknown);
}

struct CompareCase {
  TABSVariant left;
  TABSVariant right;
  TABSCompareResult expected;
};

class CompareCases : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareCases, OrdersByTheCommonType) {
  const CompareCase& c = GetParam();
  EXPECT_EQ(c.left.Compare(c.right), c.expected) << Show(c.left) << " vs " << Show(c.right);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CompareCases,
    ::testing::Values(
        CompareCase{TABSVariant(bdtInteger), TABSVariant(bdtString), R::Equal},
        CompareCase{TABSVariant(bdtInteger), Int(0), R::Less},
        CompareCase{Int(0), TABSVariant(bdtInteger), R::Greater},
        CompareCase{Int(5), Float(5.0), R::Equal}, CompareCase{Int(5), Float(5.5), R::Less},
        CompareCase{Int(-1), Int(1), R::Less}, CompareCase{Large(-1), Large(1), R::Less},
        CompareCase{Large(0x100000000), Large(0xFFFFFFFF), R::Greater},
        CompareCase{Card(4000000000u), Card(1), R::Greater},
        CompareCase{Card(4000000000u), Int(-1), R::Greater},  // as LARGEINT
        CompareCase{Byte(200), Short(-1), R::Greater},        // as SMALLINT
        CompareCase{Word(65535), Small(-1), R::Greater},      // as INTEGER
        CompareCase{Logical(2), Logical(1), R::Equal},
        CompareCase{Logical(0), Logical(-1), R::Less}, CompareCase{Logical(-1), Int(1), R::Equal},
        CompareCase{Single(1.5f), Ext(1.5), R::Equal}, CompareCase{Ext(2.5), Ext(-2.5), R::Greater},
        CompareCase{Curr(1.5), Int(1), R::Greater},
        CompareCase{Float(std::numeric_limits<double>::quiet_NaN()), Float(1), R::Equal},
        CompareCase{Date(738919), Date(738920), R::Less}, CompareCase{Time(5), Time(4), R::Greater},
        CompareCase{DT(738919, 5), DT(738919, 4), R::Greater},
        CompareCase{DT(738918, 5), DT(738919, 4), R::Less},
        CompareCase{Date(738919), DT(738919, 0), R::Equal},
        CompareCase{Date(738919), DT(738919, 1), R::Less},
        CompareCase{Str("2024-02-03"), Date(738919), R::Equal},
        CompareCase{Str("abc"), Str("abd"), R::Less}, CompareCase{Str("b"), Str("abc"), R::Greater},
        CompareCase{Str("abc"), Str("ABC"), R::Less},
        CompareCase{Text(bdtChar, "abc"), Str("abc"), R::Equal},
        CompareCase{Str("abc"), Wide(u"abc"), R::Equal},
        CompareCase{Wide(u"abc"), Wide(u"abd"), R::Less},
        CompareCase{Memo("abc"), Memo("abc"), R::Equal},
        CompareCase{Memo("abc"), Str("abd"), R::Less},
        CompareCase{WideMemo(u"b"), WideMemo(u"a"), R::Greater},
        CompareCase{Bytes(bdtBytes, std::string("ab\0x", 4)),
                    Bytes(bdtBytes, std::string("ab\0y", 4)), R::Equal},
        CompareCase{Str("10"), Int(9), R::Less}));  // as text

TEST(CompareTest, RawModeReportsNulls) {
  const TABSVariant null_value(bdtInteger);
  EXPECT_EQ(null_value.Compare(null_value, false, 0, true), R::BothNull);
  EXPECT_EQ(null_value.Compare(Int(0), false, 0, true), R::LeftNull);
  EXPECT_EQ(Int(0).Compare(null_value, false, 0, true), R::RightNull);
  EXPECT_EQ(Int(0).Compare(Int(1), false, 0, true), R::Less);
}

TEST(CompareTest, CaseAndPrefix) {
  EXPECT_EQ(Str("abc").Compare(Str("ABC"), true), R::Equal);
  EXPECT_EQ(Wide(u"abc").Compare(Wide(u"ABC"), true), R::Equal);
  EXPECT_EQ(Str("abcdef").Compare(Str("abcxyz"), false, 3), R::Equal);
  EXPECT_EQ(Str("abcdef").Compare(Str("abc"), false, kPrefixOfRightText), R::Equal);
  EXPECT_EQ(Str("abcdef").Compare(Str("abc")), R::Greater);
  EXPECT_EQ(Wide(u"ABCdef").Compare(Wide(u"abc"), true, kPrefixOfRightText), R::Equal);
  const std::u16string long_text(100, u'x');
  EXPECT_EQ(Wide(long_text + u"a").Compare(Wide(long_text + u"b")), R::Less);
}

void ExpectCompareError(const TABSVariant& left, const TABSVariant& right, int32_t code,
                        const std::string& message) {
  try {
    left.Compare(right);
    ADD_FAILURE() << "compared";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), code);
    EXPECT_EQ(error.Message(), message);
  }
}

TEST(CompareTest, IncompatibleAndUncomparableTypes) {
  ExpectCompareError(Str("a"), Bytes(bdtBlob, "a"), 30044,
                     "Cannot compare Incompatible DataTypes: 'STRING' and 'BLOB' - Native error: "
                     "30044");
  ExpectCompareError(Bytes(bdtBlob, "a"), Bytes(bdtBlob, "a"), 30047,
                     "Unknown DataType: 'BLOB' - Native error: 30047");
  ExpectCompareError(Bytes(bdtVarBytes, "a"), Bytes(bdtVarBytes, "a"), 30047,
                     "Unknown DataType: 'VARBYTES' - Native error: 30047");
  ExpectCompareError(Logical(1), Date(1), 30044,
                     "Cannot compare Incompatible DataTypes: 'LOGICAL' and 'DATE' - Native error: "
                     "30044");
  ExpectCompareError(Str("abc"), Date(738919), 30051,
                     "Cannot cast from 'STRING' to 'DATE' - Native error: 30051");
}

struct ArithmeticCase {
  const char* operation;
  TABSVariant left;
  TABSVariant right;
  std::string expected;  // Show() of the result or "ERR:<code>"
};

class ArithmeticCases : public ::testing::TestWithParam<ArithmeticCase> {};

TEST_P(ArithmeticCases, ComputesInTheCommonType) {
  const ArithmeticCase& c = GetParam();
  TABSVariant value = c.left;
  std::string result;
  try {
    const std::string op = c.operation;
    if (op == "+") value.Add(c.right);
    if (op == "-") value.Subtract(c.right);
    if (op == "*") value.Multiply(c.right);
    if (op == "/") value.Divide(c.right);
    if (op == "neg") value.Negate();
    result = Show(value);
  } catch (const EABSException& error) {
    result = "ERR:" + std::to_string(error.NativeError());
  }
  EXPECT_EQ(result, c.expected) << Show(c.left) << " " << c.operation << " " << Show(c.right);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ArithmeticCases,
    ::testing::Values(ArithmeticCase{"+", Int(2), Int(3), "INTEGER:5"},
                      ArithmeticCase{"+", Int(2147483647), Int(1), "LARGEINT:2147483648"},
                      ArithmeticCase{"-", Byte(1), Byte(2), "LARGEINT:-1"},
                      ArithmeticCase{"*", Small(300), Short(3), "SMALLINT:900"},
                      ArithmeticCase{"*", Large(INT64_MAX), Int(2), "FLOAT:1.84467440737096E19"},
                      ArithmeticCase{"/", Int(7), Int(2), "FLOAT:3.5"},
                      ArithmeticCase{"/", Int(7), Int(0), "ERR:30128"},
                      ArithmeticCase{"/", Float(1), Float(0), "ERR:30128"},
                      ArithmeticCase{"+", Float(0.5), Int(2), "FLOAT:2.5"},
                      ArithmeticCase{"*", Curr(1.5), Int(3), "CURRENCY:4.5"},
                      ArithmeticCase{"+", Ext(1.5), Single(1), "EXTENDED:2.5"},
                      ArithmeticCase{"+", Str("ab"), Str("cd"), "STRING:abcd"},
                      ArithmeticCase{"+", Str("n="), Int(5), "STRING:n=5"},
                      ArithmeticCase{"+", Str("ab"), Wide(u"cd"), "WIDESTRING:abcd"},
                      ArithmeticCase{"-", Str("ab"), Str("cd"), "ERR:30126"},
                      ArithmeticCase{"*", Str("ab"), Int(2), "ERR:30127"},
                      ArithmeticCase{"/", Str("ab"), Int(2), "ERR:30127"},
                      ArithmeticCase{"+", Logical(1), Logical(1), "ERR:30124"},
                      ArithmeticCase{"+", Int(1), Bytes(bdtBlob, "x"), "ERR:30124"},
                      ArithmeticCase{"+", Date(738919), Int(30), "DATE:738949"},
                      ArithmeticCase{"-", Date(738919), Date(738900), "FLOAT:19"},
                      ArithmeticCase{"+", DT(738919, 64800000), Float(0.25), "DATETIME:738920,0"},
                      ArithmeticCase{"+", Date(738919), Time(43200000), "DATETIME:738919,43200000"},
                      ArithmeticCase{"-", DT(738919, 0), Float(0.5), "DATETIME:738918,43200000"},
                      ArithmeticCase{"*", Date(738919), Int(2), "ERR:30127"},
                      ArithmeticCase{"+", TABSVariant(bdtInteger), Int(1), "INTEGER:NULL"},
                      ArithmeticCase{"neg", Int(5), Int(0), "INTEGER:-5"},
                      ArithmeticCase{"neg", Int(INT32_MIN), Int(0), "LARGEINT:2147483648"},
                      ArithmeticCase{"neg", Byte(5), Int(0), "LARGEINT:-5"},
                      ArithmeticCase{"neg", Ext(2.5), Int(0), "EXTENDED:-2.5"},
                      ArithmeticCase{"neg", Curr(2.5), Int(0), "CURRENCY:-2.5"},
                      ArithmeticCase{"neg", Str("1"), Int(0), "ERR:30123"},
                      ArithmeticCase{"neg", Date(1), Int(0), "ERR:30123"}));

TEST(ArithmeticTest, ErrorMessages) {
  TABSVariant text = Str("x");
  try {
    text.Negate();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "Cannot invert value with not numeric type 'STRING' - Native error: 30123");
  }
  try {
    text.Subtract(Int(1));
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "Not numeric argument in numeric operator '-' - Native error: 30126");
  }
  try {
    Int(1).Divide(Int(0));
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Division error: Division by zero - Native error: 30128");
  }
}

}  // namespace
}  // namespace tabshift
