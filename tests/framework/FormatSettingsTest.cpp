#include <gtest/gtest.h>

#include <limits>

#include "framework/FormatSettings.h"
#include "framework/Variant.h"

namespace tabshift {
namespace {

// Restores the process-wide setting a test changes.
class FormatSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override { FormatSettings() = TFormatSettings(); }
};

TEST_F(FormatSettingsTest, DatesAndTimesFollowTheFormats) {
  EXPECT_EQ(DateToStr(45325.75), "2024-02-03");
  EXPECT_EQ(TimeToStr(45325.75), "18:00:00");
  EXPECT_EQ(DateTimeToStr(45325.75), "2024-02-03 18:00:00");
  EXPECT_EQ(DateTimeToStr(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(FormatDateTime("d.m.yy h:n:s.zzz", 45325 + 1234.0 / 86400000), "3.2.24 0:0:1.234");
  EXPECT_EQ(DateTimeToStr(1.99999999999), "1900-01-01 00:00:00");
  FormatSettings().short_date_format = "dd.mm.yyyy";
  EXPECT_EQ(DateToStr(45325), "03.02.2024");
}

TEST_F(FormatSettingsTest, TextsAreReadByTheSameFormats) {
  TDateTime value = 0;
  ASSERT_TRUE(TryStrToDate(" 2024-2-3 ", value));
  EXPECT_DOUBLE_EQ(value, 45325);
  EXPECT_FALSE(TryStrToDate("2024/02/03", value));
  EXPECT_FALSE(TryStrToDate("2024-02-30", value));
  EXPECT_FALSE(TryStrToDate("2024-02", value));
  ASSERT_TRUE(TryStrToTime("18:00:00", value));
  EXPECT_DOUBLE_EQ(value, 0.75);
  ASSERT_TRUE(TryStrToTime("18:30", value));
  EXPECT_DOUBLE_EQ(value, 18.5 / 24);
  EXPECT_FALSE(TryStrToTime("18:", value));
  EXPECT_FALSE(TryStrToTime("18", value));
  ASSERT_TRUE(TryStrToDateTime("2024-02-03  18:00:00", value));
  EXPECT_DOUBLE_EQ(value, 45325.75);
  ASSERT_TRUE(TryStrToDateTime("2024-02-03", value));
  EXPECT_DOUBLE_EQ(value, 45325);
  FormatSettings().short_date_format = "dd.mm.yyyy";
  ASSERT_TRUE(TryStrToDate("03.02.2024", value));
  EXPECT_DOUBLE_EQ(value, 45325);
  EXPECT_FALSE(TryStrToDate("2024-02-03", value));
}

TEST_F(FormatSettingsTest, FloatTextHas15DigitsAndTheLocaleSeparator) {
  EXPECT_EQ(FloatToStr(3.5), "3.5");
  EXPECT_EQ(FloatToStr(-2.7), "-2.7");
  EXPECT_EQ(FloatToStr(738000.75), "738000.75");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1.5e20), "1.5E20");
  EXPECT_EQ(FloatToStr(0.00001), "0.00001");
  EXPECT_EQ(FloatToStr(0.000001), "1E-6");
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
  FormatSettings().decimal_separator = ',';
  EXPECT_EQ(FloatToStr(3.5), "3,5");
}

TEST_F(FormatSettingsTest, FloatsAreReadWithAPointWhateverTheLocale) {
  FormatSettings().decimal_separator = ',';
  double value = 0;
  ASSERT_TRUE(TryStrToFloatFixed(" 3.5 ", value));
  EXPECT_DOUBLE_EQ(value, 3.5);
  ASSERT_TRUE(TryStrToFloatFixed("-1e3", value));
  EXPECT_DOUBLE_EQ(value, -1000);
  ASSERT_TRUE(TryStrToFloatFixed("+.5", value));
  EXPECT_DOUBLE_EQ(value, 0.5);
  for (const char* bad : {"3,5", "", "-", "abc", "1.5x", "inf", "nan", "--1", "1e999"}) {
    EXPECT_FALSE(TryStrToFloatFixed(bad, value)) << bad;
  }
  EXPECT_EQ(FormatSettings().decimal_separator, ',');
}

TEST_F(FormatSettingsTest, CurrencyHasFourDecimalsAndTheLocaleSeparator) {
  EXPECT_EQ(CurrToStr(12.5), "12.5");
  EXPECT_EQ(CurrToStr(-0.12345), "-0.1235");
  EXPECT_EQ(CurrToStr(7), "7");
  EXPECT_EQ(CurrToStr(0.0001), "0.0001");
  double value = 0;
  ASSERT_TRUE(TryStrToCurr("1.23456", value));
  EXPECT_DOUBLE_EQ(value, 1.2346);
  FormatSettings().decimal_separator = ',';
  EXPECT_EQ(CurrToStr(12.5), "12,5");
  ASSERT_TRUE(TryStrToCurr("12,5", value));
  EXPECT_DOUBLE_EQ(value, 12.5);
  EXPECT_FALSE(TryStrToCurr("12.5", value));
  EXPECT_FALSE(TryStrToCurr("1e300", value));
}

TEST_F(FormatSettingsTest, IntegersAreCheckedForRange) {
  int32_t value = 0;
  ASSERT_TRUE(TryStrToInt(" -2147483648 ", value));
  EXPECT_EQ(value, INT32_MIN);
  ASSERT_TRUE(TryStrToInt("+42", value));
  EXPECT_EQ(value, 42);
  for (const char* bad : {"2147483648", "", "+", "-", "+-1", "1.0", "12a", "0x10"}) {
    EXPECT_FALSE(TryStrToInt(bad, value)) << bad;
  }
  int64_t wide = 0;
  ASSERT_TRUE(TryStrToInt64("9223372036854775807", wide));
  EXPECT_EQ(wide, INT64_MAX);
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", wide));
}

TEST(VariantTest, KindsAndPayloads) {
  EXPECT_EQ(Variant().Type(), VarType::Empty);
  EXPECT_TRUE(Variant::Null().IsEmptyOrNull());
  EXPECT_EQ(Variant::FromWord(65535).AsInteger(), 65535);
  EXPECT_EQ(Variant::FromString("x").AsString(), "x");
  EXPECT_EQ(static_cast<int>(Variant::FromBytes({1, 2}).Type()), 8209);
  EXPECT_NE(Variant::FromInteger(1), Variant::FromInt64(1));
}

}  // namespace
}  // namespace tabshift
