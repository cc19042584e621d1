#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "VariantTestSupport.h"
#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

using namespace test;

constexpr EngineDate k20240203 = 738919;  // 2024-02-03
constexpr EngineTime k1800 = 64800000;    // 18:00:00

struct ConvertCase {
  TABSVariant source;
  BaseDataType target;
  std::string expected;  // Show() of the result, or "ERR:<native code>"
};

std::string Converted(const TABSVariant& source, BaseDataType target) {
  TABSVariant value = source;
  try {
    value.ConvertTo(target);
  } catch (const EABSException& error) {
    EXPECT_EQ(Show(value), Show(source)) << "a failed conversion changed the value";
    return "ERR:" + std::to_string(error.NativeError());
  }
  return Show(value);
}

class ConversionTable : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConversionTable, ConvertsByTheRuleOfThePair) {
  const ConvertCase& c = GetParam();
  EXPECT_EQ(Converted(c.source, c.target), c.expected)
      << Show(c.source) << " to " << DataTypeName(c.target);
}

INSTANTIATE_TEST_SUITE_P(
    FromText, ConversionTable,
    ::testing::Values(ConvertCase{Str("abc"), bdtChar, "CHAR:abc"},
                      ConvertCase{Text(bdtChar, "abc"), bdtString, "STRING:abc"},
                      ConvertCase{Str("abc"), bdtWideString, "WIDESTRING:abc"},
                      ConvertCase{Text(bdtChar, "abc"), bdtWideChar, "WIDECHAR:abc"},
                      ConvertCase{Str("300"), bdtShortInt, "SHORTINT:44"},
                      ConvertCase{Str(" -5"), bdtInteger, "INTEGER:-5"},
                      ConvertCase{Str("70000"), bdtWord, "WORD:4464"},
                      ConvertCase{Str("4294967296"), bdtInteger, "ERR:30051"},
                      ConvertCase{Str("3000000000"), bdtCardinal, "ERR:30051"},
                      ConvertCase{Str("4294967296"), bdtLargeInt, "LARGEINT:4294967296"},
                      ConvertCase{Str("abc"), bdtInteger, "ERR:30051"},
                      ConvertCase{Str("3.5"), bdtFloat, "FLOAT:3.5"},
                      ConvertCase{Str("3.5"), bdtSingle, "SINGLE:3.5"},
                      ConvertCase{Str("-3.5e2"), bdtExtended, "EXTENDED:-350"},
                      ConvertCase{Str("3,5"), bdtFloat, "ERR:30051"},
                      ConvertCase{Str("12.5"), bdtCurrency, "CURRENCY:12.5"},
                      ConvertCase{Str("1.23456"), bdtCurrency, "CURRENCY:1.2346"},
                      ConvertCase{Str("x"), bdtCurrency, "ERR:30051"},
                      ConvertCase{Str("2024-02-03"), bdtDate, "DATE:738919"},
                      ConvertCase{Str("2024/02/03"), bdtDate, "DATE:738919"},
                      ConvertCase{Str("2024-02-03 18:00:00"), bdtDate, "DATE:738919"},
                      ConvertCase{Str("2024-02-03 18:00:00"), bdtDateTime,
                                  "DATETIME:738919,64800000"},
                      ConvertCase{Str("2024/02/03"), bdtDateTime, "DATETIME:738919,0"},
                      ConvertCase{Str("18:00:00"), bdtTime, "TIME:64800000"},
                      ConvertCase{Str("18.00.00"), bdtTime, "TIME:64800000"},
                      ConvertCase{Str("2024-13-03"), bdtDate, "ERR:30051"},
                      ConvertCase{Str("noon"), bdtTime, "ERR:30051"},
                      ConvertCase{Str("true"), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Str("1"), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Str("yes"), bdtLogical, "LOGICAL:0"},
                      ConvertCase{Str("abc"), bdtBlob, "BLOB:61626300"},
                      ConvertCase{Str("abc"), bdtMemo, "ERR:30052"},
                      ConvertCase{Str("abc"), bdtWideMemo, "ERR:30052"},
                      ConvertCase{Str("abc"), bdtBytes, "ERR:30052"},
                      ConvertCase{Str("abc"), bdtVarBytes, "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromWideText, ConversionTable,
    ::testing::Values(ConvertCase{Wide(u"abc"), bdtString, "STRING:abc"},
                      ConvertCase{Wide(u"abc"), bdtChar, "CHAR:abc"},
                      ConvertCase{WideText(bdtWideChar, u"abc"), bdtWideString, "WIDESTRING:abc"},
                      ConvertCase{Wide(u"42"), bdtInteger, "INTEGER:42"},
                      ConvertCase{Wide(u"9999999999"), bdtLargeInt, "LARGEINT:9999999999"},
                      ConvertCase{Wide(u"2.5"), bdtFloat, "FLOAT:2.5"},
                      ConvertCase{Wide(u"2.5"), bdtCurrency, "CURRENCY:2.5"},
                      ConvertCase{Wide(u"2024-02-03"), bdtDate, "DATE:738919"},
                      ConvertCase{Wide(u"2024/02/03"), bdtDate, "ERR:30051"},
                      ConvertCase{Wide(u"18:00:00"), bdtTime, "TIME:64800000"},
                      ConvertCase{Wide(u"2024-02-03 18:00:00"), bdtDateTime,
                                  "DATETIME:738919,64800000"},
                      ConvertCase{Wide(u"TRUE"), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Wide(u"ab"), bdtBlob, "BLOB:610062000000"},
                      ConvertCase{Wide(u"ab"), bdtMemo, "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromMemo, ConversionTable,
    ::testing::Values(ConvertCase{Memo("abc"), bdtString, "STRING:abc"},
                      ConvertCase{Memo("abc"), bdtChar, "CHAR:abc"},
                      ConvertCase{Memo("abc"), bdtWideString, "WIDESTRING:abc"},
                      ConvertCase{Memo("12"), bdtInteger, "INTEGER:12"},
                      ConvertCase{Memo("4294967296"), bdtLargeInt, "ERR:30051"},
                      ConvertCase{Memo("2.5"), bdtFloat, "FLOAT:2.5"},
                      ConvertCase{Memo("2024-02-03"), bdtDate, "DATE:738919"},
                      ConvertCase{Memo("2024/02/03"), bdtDate, "ERR:30051"},
                      ConvertCase{Memo("TRUE"), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Memo("x"), bdtBlob, "BLOB:7800"},
                      ConvertCase{Memo("x"), bdtWideMemo, "ERR:30052"},
                      ConvertCase{WideMemo(u"abc"), bdtString, "STRING:abc"},
                      ConvertCase{WideMemo(u"abc"), bdtWideString, "WIDESTRING:abc"},
                      ConvertCase{WideMemo(u"7"), bdtLargeInt, "LARGEINT:7"},
                      ConvertCase{WideMemo(u"4294967296"), bdtLargeInt, "ERR:30051"},
                      ConvertCase{WideMemo(u"a"), bdtBlob, "BLOB:61000000"},
                      ConvertCase{WideMemo(u"a"), bdtMemo, "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromIntegers, ConversionTable,
    ::testing::Values(
        ConvertCase{Int(300), bdtShortInt, "SHORTINT:44"},
        ConvertCase{Int(-1), bdtByte, "BYTE:255"},
        ConvertCase{Int(-1), bdtCardinal, "CARDINAL:4294967295"},
        ConvertCase{Int(-1), bdtLargeInt, "LARGEINT:-1"},
        ConvertCase{Card(4294967295u), bdtLargeInt, "LARGEINT:4294967295"},
        ConvertCase{Large(4294967297), bdtInteger, "INTEGER:1"},
        ConvertCase{Short(-5), bdtWord, "WORD:65531"},
        ConvertCase{Byte(200), bdtShortInt, "SHORTINT:-56"},
        ConvertCase{Int(-42), bdtString, "STRING:-42"},
        ConvertCase{Card(4294967295u), bdtString, "STRING:4294967295"},
        ConvertCase{Large(std::numeric_limits<int64_t>::min()), bdtChar,
                    "CHAR:-9223372036854775808"},
        ConvertCase{Word(7), bdtWideString, "WIDESTRING:7"},
        ConvertCase{Small(-7), bdtWideChar, "WIDECHAR:-7"},
        ConvertCase{Int(5), bdtFloat, "FLOAT:5"}, ConvertCase{Int(5), bdtSingle, "SINGLE:5"},
        ConvertCase{Int(5), bdtExtended, "EXTENDED:5"},
        ConvertCase{Int(5), bdtCurrency, "CURRENCY:5"},
        ConvertCase{Int(k20240203), bdtDate, "DATE:738919"},
        ConvertCase{Large(4294967296 + 5), bdtDate, "DATE:5"},
        ConvertCase{Int(1000), bdtTime, "TIME:1000"},
        ConvertCase{Int(k20240203), bdtDateTime, "DATETIME:738919,0"},
        ConvertCase{Int(0), bdtLogical, "LOGICAL:0"},
        ConvertCase{Byte(7), bdtLogical, "LOGICAL:-1"}, ConvertCase{Int(1), bdtBlob, "ERR:30052"},
        ConvertCase{Int(1), bdtMemo, "ERR:30052"}, ConvertCase{Int(1), bdtBytes, "ERR:30052"},
        ConvertCase{Int(1), static_cast<BaseDataType>(25), "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromFloats, ConversionTable,
    ::testing::Values(ConvertCase{Float(2.5), bdtString, "STRING:2.5"},
                      ConvertCase{Single(0.5f), bdtString, "STRING:0.5"},
                      ConvertCase{Ext(1e20), bdtWideString, "WIDESTRING:1E20"},
                      ConvertCase{Single(-2.7f), bdtInteger, "INTEGER:-2"},
                      ConvertCase{Float(300.9), bdtShortInt, "SHORTINT:44"},
                      ConvertCase{Float(1e30), bdtInteger, "ERR:30051"},
                      ConvertCase{Float(std::numeric_limits<double>::quiet_NaN()), bdtLargeInt,
                                  "ERR:30051"},
                      ConvertCase{Float(3.25), bdtSingle, "SINGLE:3.25"},
                      ConvertCase{Float(3.25), bdtExtended, "EXTENDED:3.25"},
                      ConvertCase{Float(3.25), bdtCurrency, "CURRENCY:3.25"},
                      ConvertCase{Ext(2.5), bdtFloat, "FLOAT:2.5"},
                      ConvertCase{Float(1e300), bdtSingle, "SINGLE:INF"},
                      ConvertCase{Float(738000.75), bdtDate, "DATE:738000"},
                      ConvertCase{Float(738000.75), bdtTime, "TIME:738000"},
                      ConvertCase{Float(738000.75), bdtDateTime, "DATETIME:738000,64800000"},
                      ConvertCase{Float(1e12), bdtDateTime, "ERR:30051"},
                      ConvertCase{Float(0), bdtLogical, "LOGICAL:0"},
                      ConvertCase{Ext(0.1), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Float(1), bdtBlob, "ERR:30052"},
                      ConvertCase{Float(1), bdtVarBytes, "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromDatesAndTimes, ConversionTable,
    ::testing::Values(ConvertCase{Date(k20240203), bdtString, "STRING:2024-02-03"},
                      ConvertCase{Date(kNoDate), bdtString, "STRING:"},
                      ConvertCase{Date(k20240203), bdtWideString, "WIDESTRING:2024-02-03"},
                      ConvertCase{Date(k20240203), bdtInteger, "INTEGER:738919"},
                      ConvertCase{Date(k20240203), bdtSmallInt, "SMALLINT:18023"},
                      ConvertCase{Date(k20240203), bdtFloat, "FLOAT:738919"},
                      ConvertCase{Date(k20240203), bdtCurrency, "CURRENCY:738919"},
                      ConvertCase{Date(k20240203), bdtTime, "TIME:738919"},
                      ConvertCase{Date(k20240203), bdtDateTime, "DATETIME:738919,0"},
                      ConvertCase{Date(k20240203), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Date(kNoDate), bdtLogical, "LOGICAL:0"},
                      ConvertCase{Date(k20240203), bdtBlob, "ERR:30052"},
                      ConvertCase{Time(k1800), bdtString, "STRING:18:00:00"},
                      ConvertCase{Time(0), bdtString, "STRING:"},
                      ConvertCase{Time(k1800), bdtInteger, "INTEGER:64800000"},
                      ConvertCase{Time(k1800), bdtFloat, "FLOAT:64800000"},
                      ConvertCase{Time(k1800), bdtCurrency, "CURRENCY:64800000"},
                      ConvertCase{Time(k1800), bdtDate, "DATE:64800000"},
                      ConvertCase{Time(k1800), bdtDateTime, "DATETIME:-2147483648,64800000"},
                      ConvertCase{Time(0), bdtLogical, "LOGICAL:0"},
                      ConvertCase{Time(1), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{DT(k20240203, k1800), bdtString, "STRING:2024-02-03 18:00:00"},
                      ConvertCase{DT(kNoDate, 0), bdtString, "STRING:"},
                      ConvertCase{DT(k20240203, k1800), bdtLargeInt, "LARGEINT:738919"},
                      ConvertCase{DT(k20240203, k1800), bdtDate, "DATE:738919"},
                      ConvertCase{DT(k20240203, k1800), bdtTime, "TIME:64800000"},
                      ConvertCase{DT(738000, k1800), bdtFloat, "FLOAT:738000.75"},
                      ConvertCase{DT(kNoDate, 43200000), bdtFloat, "FLOAT:0.5"},
                      ConvertCase{DT(k20240203, 1), bdtCurrency, "CURRENCY:738919"},
                      ConvertCase{DT(k20240203, 43200000), bdtCurrency, "CURRENCY:738919.5"},
                      ConvertCase{DT(kNoDate, 0), bdtLogical, "LOGICAL:0"},
                      ConvertCase{DT(kNoDate, 1), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{DT(kNoDate, 1), bdtMemo, "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromLogicalAndCurrency, ConversionTable,
    ::testing::Values(ConvertCase{Logical(-1), bdtString, "STRING:True"},
                      ConvertCase{Logical(0), bdtChar, "CHAR:False"},
                      ConvertCase{Logical(2), bdtWideString, "WIDESTRING:True"},
                      ConvertCase{Logical(-1), bdtInteger, "INTEGER:1"},
                      ConvertCase{Logical(2), bdtByte, "BYTE:1"},
                      ConvertCase{Logical(-1), bdtFloat, "FLOAT:1"},
                      ConvertCase{Logical(0), bdtExtended, "EXTENDED:0"},
                      ConvertCase{Logical(-1), bdtCurrency, "ERR:30052"},
                      ConvertCase{Logical(-1), bdtDate, "ERR:30052"},
                      ConvertCase{Logical(-1), bdtTime, "ERR:30052"},
                      ConvertCase{Logical(-1), bdtDateTime, "ERR:30052"},
                      ConvertCase{Logical(-1), bdtBlob, "ERR:30052"},
                      ConvertCase{Curr(12.34567), bdtString, "STRING:12.3457"},
                      ConvertCase{Curr(12.5), bdtWideString, "WIDESTRING:12.5"},
                      ConvertCase{Curr(-7.9), bdtInteger, "INTEGER:-7"},
                      ConvertCase{Curr(12.5), bdtFloat, "FLOAT:12.5"},
                      ConvertCase{Curr(0), bdtLogical, "LOGICAL:0"},
                      ConvertCase{Curr(0.01), bdtLogical, "LOGICAL:-1"},
                      ConvertCase{Curr(1), bdtDate, "ERR:30052"},
                      ConvertCase{Curr(1), bdtTime, "ERR:30052"},
                      ConvertCase{Curr(1), bdtDateTime, "ERR:30052"}));

INSTANTIATE_TEST_SUITE_P(
    FromBinary, ConversionTable,
    ::testing::Values(ConvertCase{Bytes(bdtBlob, "ab"), bdtString, "ERR:30052"},
                      ConvertCase{Bytes(bdtBlob, "ab"), bdtWideString, "ERR:30052"},
                      ConvertCase{Bytes(bdtBytes, "ab"), bdtString, "ERR:30052"},
                      ConvertCase{Bytes(bdtVarBytes, "ab"), bdtInteger, "ERR:30052"}));

void ExpectCastError(const TABSVariant& source, BaseDataType target, const std::string& message) {
  TABSVariant value = source;
  try {
    value.ConvertTo(target);
    ADD_FAILURE() << "converted";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), message);
  }
}

TEST(ConvertBufferTest, FailuresNameBothTypes) {
  ExpectCastError(Logical(-1), bdtCurrency,
                  "Cannot cast from 'LOGICAL' to 'CURRENCY' - Native error: 30052");
  ExpectCastError(Str("x"), bdtInteger,
                  "Cannot cast from 'STRING' to 'INTEGER' - Native error: 30051");
  ExpectCastError(Int(1), static_cast<BaseDataType>(25),
                  "Cannot cast from 'INTEGER' to 'Unknown' - Native error: 30052");
}

TEST(ConvertBufferTest, TextResultsHaveTheirEncodedSizes) {
  TABSValueBuffer result;
  const int32_t value = -42;
  ConvertBuffer(reinterpret_cast<const uint8_t*>(&value), 4, bdtInteger, bdtString, result);
  EXPECT_EQ(result.Size(), 4);
  ConvertBuffer(reinterpret_cast<const uint8_t*>(&value), 4, bdtInteger, bdtWideChar, result);
  EXPECT_EQ(result.Size(), 8);
  EXPECT_EQ(Hex(result.Data(), result.Size()), "2D00340032000000");
}

TEST(ConvertBufferTest, EightBitTextIsWidenedThroughTheCodePage) {
  TABSVariant value = Str("caf\xE9");  // windows-1252 e acute
  value.ConvertTo(bdtWideString);
  EXPECT_EQ(value.GetAsWideString(), u"caf\u00E9");
  value.ConvertTo(bdtString);
  EXPECT_EQ(value.GetAsString(), "caf\xE9");
}

class LocaleTest : public ::testing::Test {
 protected:
  void TearDown() override { FormatSettings() = TFormatSettings(); }
};

TEST_F(LocaleTest, PointParsingHoldsUnderACommaLocale) {
  FormatSettings().decimal_separator = ',';
  EXPECT_EQ(Str("3.5").GetAsFloat(), 3.5);
  EXPECT_EQ(Converted(Str("3,5"), bdtFloat), "ERR:30051");
  EXPECT_EQ(Str("3,5").GetAsCurrency(), 3.5);
  EXPECT_EQ(Converted(Str("3.5"), bdtCurrency), "ERR:30051");
  EXPECT_EQ(Converted(Float(3.5), bdtString), "STRING:3,5");
  EXPECT_EQ(Converted(Curr(3.5), bdtString), "STRING:3,5");
  EXPECT_EQ(FormatSettings().decimal_separator, ',');
}

TEST_F(LocaleTest, FixedDateFormsHoldUnderAnyLocaleButOnlyForEightBitText) {
  FormatSettings().short_date_format = "dd.mm.yyyy";
  EXPECT_EQ(Converted(Str("2024-02-03"), bdtDate), "DATE:738919");
  EXPECT_EQ(Converted(Wide(u"2024-02-03"), bdtDate), "ERR:30051");
  EXPECT_EQ(Converted(Wide(u"03.02.2024"), bdtDate), "DATE:738919");
  EXPECT_EQ(Converted(Date(k20240203), bdtString), "STRING:03.02.2024");
}

// One sample value per base type, in code order.
std::vector<TABSVariant> Samples() {
  return {Text(bdtChar, "1"),
          WideText(bdtWideChar, u"1"),
          Str("1"),
          Wide(u"1"),
          Short(1),
          Small(1),
          Int(1),
          Large(1),
          Byte(1),
          Word(1),
          Card(1),
          Single(1),
          Float(1),
          Ext(1),
          Date(1),
          Time(1),
          DT(1, 1),
          Bytes(bdtBlob, "1"),
          Memo("1"),
          WideMemo(u"1"),
          Logical(-1),
          Curr(1),
          Bytes(bdtBytes, "1"),
          Bytes(bdtVarBytes, "1")};
}

bool HasNoRule(BaseDataType from, BaseDataType to) {
  if (from == to) return false;
  const auto is_date = [](BaseDataType t) { return IsBaseDateTimeType(t); };
  return from == bdtBlob || from == bdtBytes || from == bdtVarBytes || to == bdtMemo ||
         to == bdtWideMemo || to == bdtBytes || to == bdtVarBytes ||
         (to == bdtBlob && !IsBaseStringType(from) && from != bdtMemo && from != bdtWideMemo) ||
         (from == bdtLogical && (is_date(to) || to == bdtCurrency)) ||
         (from == bdtCurrency && is_date(to));
}

TEST(ConversionPairsTest, EveryPairHasARuleOrFailsWith30052AndResultsAreWellFormed) {
  for (const TABSVariant& sample : Samples()) {
    for (int code = 1; code < kBaseDataTypeCount; ++code) {
      const auto target = static_cast<BaseDataType>(code);
      TABSVariant value = sample;
      int32_t error = 0;
      try {
        value.ConvertTo(target);
      } catch (const EABSException& e) {
        error = e.NativeError();
      }
      const std::string pair =
          std::string(DataTypeName(sample.Type())) + " to " + std::string(DataTypeName(target));
      EXPECT_EQ(error == 30052, HasNoRule(sample.Type(), target)) << pair;
      if (error != 0) {
        EXPECT_TRUE(error == 30051 || error == 30052) << pair;
        continue;
      }
      EXPECT_EQ(value.Type(), target) << pair;
      if (IsBaseWideType(target)) {
        EXPECT_TRUE(value.Size() >= 2 && value.Size() % 2 == 0) << pair;
        EXPECT_EQ(value.Buffer()[value.Size() - 1] | value.Buffer()[value.Size() - 2], 0) << pair;
      } else if (IsBaseStringType(target)) {
        EXPECT_EQ(value.Buffer()[value.Size() - 1], 0) << pair;
      } else if (!IsBaseBlobType(target) && target != bdtBytes && target != bdtVarBytes) {
        EXPECT_EQ(value.Size(), DataSizeOf(target, 0)) << pair;
      }
    }
  }
}

TEST(ConversionPairsTest, ShortBuffersAreReadWithoutOverrun) {
  const uint8_t one_byte[1] = {7};
  for (int from = 1; from < kBaseDataTypeCount; ++from) {
    for (int to = 1; to < kBaseDataTypeCount; ++to) {
      TABSValueBuffer result;
      try {
        ConvertBuffer(one_byte, 1, static_cast<BaseDataType>(from), static_cast<BaseDataType>(to),
                      result);
      } catch (const EABSException&) {
      }
    }
  }
}

}  // namespace
}  // namespace tabshift
