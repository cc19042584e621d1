#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "engine/access/ABSConverts.h"
#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

void ExpectEngineError(auto action, int32_t code, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), code);
    EXPECT_EQ(error.Message(), message);
  }
}

TEST(DataTypeNamesTest, EveryAdvancedCodeHasOneBaseCode) {
  for (const DataTypeNameRow& row : DataTypeNames) {
    EXPECT_EQ(AdvancedToBase(row.advanced), row.base) << row.name;
  }
  for (int code = 1; code <= 36; ++code) {
    EXPECT_NE(AdvancedToBase(static_cast<AdvancedDataType>(code)), bdtUnknown) << code;
  }
  EXPECT_EQ(AdvancedToBase(adtUnknown), bdtUnknown);
  EXPECT_EQ(AdvancedToBase(static_cast<AdvancedDataType>(37)), bdtUnknown);
  EXPECT_EQ(AdvancedToBase(adtGuid), bdtChar);
  EXPECT_EQ(AdvancedToBase(adtTimeStamp), bdtDateTime);
  EXPECT_EQ(AdvancedToBase(adtGraphic), bdtBlob);
  EXPECT_EQ(AdvancedToBase(adtAutoIncWord), bdtWord);
}

struct BaseCase {
  BaseDataType base;
  AdvancedDataType advanced;
  const char* name;
};

class BaseLookupCases : public ::testing::TestWithParam<BaseCase> {};

TEST_P(BaseLookupCases, FirstRowWins) {
  EXPECT_EQ(BaseToAdvanced(GetParam().base), GetParam().advanced);
  EXPECT_EQ(DataTypeName(GetParam().base), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    AllBaseCodes, BaseLookupCases,
    ::testing::Values(
        BaseCase{bdtUnknown, adtUnknown, "Unknown"}, BaseCase{bdtChar, adtChar, "CHAR"},
        BaseCase{bdtWideChar, adtWideChar, "WIDECHAR"}, BaseCase{bdtString, adtString, "STRING"},
        BaseCase{bdtWideString, adtWideString, "WIDESTRING"},
        BaseCase{bdtShortInt, adtShortInt, "SHORTINT"},
        BaseCase{bdtSmallInt, adtSmallInt, "SMALLINT"}, BaseCase{bdtInteger, adtInteger, "INTEGER"},
        BaseCase{bdtLargeInt, adtLargeInt, "LARGEINT"}, BaseCase{bdtByte, adtByte, "BYTE"},
        BaseCase{bdtWord, adtWord, "WORD"}, BaseCase{bdtCardinal, adtCardinal, "CARDINAL"},
        BaseCase{bdtSingle, adtSingle, "SINGLE"}, BaseCase{bdtFloat, adtFloat, "FLOAT"},
        BaseCase{bdtExtended, adtExtended, "EXTENDED"}, BaseCase{bdtDate, adtDate, "DATE"},
        BaseCase{bdtTime, adtTime, "TIME"}, BaseCase{bdtDateTime, adtDateTime, "DATETIME"},
        BaseCase{bdtBlob, adtBlob, "BLOB"}, BaseCase{bdtMemo, adtMemo, "MEMO"},
        BaseCase{bdtWideMemo, adtWideMemo, "WIDEMEMO"}, BaseCase{bdtLogical, adtLogical, "LOGICAL"},
        BaseCase{bdtCurrency, adtCurrency, "CURRENCY"}, BaseCase{bdtBytes, adtBytes, "BYTES"},
        BaseCase{bdtVarBytes, adtVarBytes, "VARBYTES"},
        BaseCase{static_cast<BaseDataType>(25), adtUnknown, "Unknown"}));

struct FrameworkCase {
  TFieldType field_type;
  AdvancedDataType advanced;  // adtUnknown: refused
};

class FrameworkLookupCases : public ::testing::TestWithParam<FrameworkCase> {};

TEST_P(FrameworkLookupCases, MapsOrRefusesWithTheOrdinal) {
  const FrameworkCase& c = GetParam();
  if (c.advanced != adtUnknown) {
    EXPECT_EQ(FrameworkToAdvanced(c.field_type), c.advanced);
    return;
  }
  const std::string ordinal = std::to_string(static_cast<int>(c.field_type));
  ExpectEngineError([&] { FrameworkToAdvanced(c.field_type); }, 30289,
                    "Unknown DataType: '" + ordinal + "' - Native error: 30289");
}

INSTANTIATE_TEST_SUITE_P(
    EveryFieldType, FrameworkLookupCases,
    ::testing::Values(FrameworkCase{ftUnknown, adtUnknown}, FrameworkCase{ftString, adtString},
                      FrameworkCase{ftSmallint, adtSmallInt}, FrameworkCase{ftInteger, adtInteger},
                      FrameworkCase{ftWord, adtWord}, FrameworkCase{ftBoolean, adtLogical},
                      FrameworkCase{ftFloat, adtFloat}, FrameworkCase{ftCurrency, adtCurrency},
                      FrameworkCase{ftBCD, adtFloat}, FrameworkCase{ftDate, adtDate},
                      FrameworkCase{ftTime, adtTime}, FrameworkCase{ftDateTime, adtDateTime},
                      FrameworkCase{ftBytes, adtBytes}, FrameworkCase{ftVarBytes, adtVarBytes},
                      FrameworkCase{ftAutoInc, adtAutoInc}, FrameworkCase{ftBlob, adtBlob},
                      FrameworkCase{ftMemo, adtMemo}, FrameworkCase{ftGraphic, adtGraphic},
                      FrameworkCase{ftFmtMemo, adtFormattedMemo},
                      FrameworkCase{ftParadoxOle, adtBlob}, FrameworkCase{ftDBaseOle, adtBlob},
                      FrameworkCase{ftTypedBinary, adtBlob}, FrameworkCase{ftCursor, adtUnknown},
                      FrameworkCase{ftFixedChar, adtChar}, FrameworkCase{ftWideString, adtWideChar},
                      FrameworkCase{ftLargeint, adtLargeInt}, FrameworkCase{ftADT, adtUnknown},
                      FrameworkCase{ftArray, adtUnknown}, FrameworkCase{ftReference, adtUnknown},
                      FrameworkCase{ftDataSet, adtUnknown}, FrameworkCase{ftOraBlob, adtBlob},
                      FrameworkCase{ftOraClob, adtBlob}, FrameworkCase{ftVariant, adtUnknown},
                      FrameworkCase{ftInterface, adtUnknown},
                      FrameworkCase{ftIDispatch, adtUnknown}, FrameworkCase{ftGuid, adtGuid},
                      FrameworkCase{ftTimeStamp, adtTimeStamp},
                      FrameworkCase{ftFMTBcd, adtUnknown}));

struct AdvancedCase {
  AdvancedDataType advanced;
  TFieldType field_type;
  const char* name;
};

class AdvancedLookupCases : public ::testing::TestWithParam<AdvancedCase> {};

TEST_P(AdvancedLookupCases, FrameworkTypeAndName) {
  EXPECT_EQ(AdvancedToFramework(GetParam().advanced), GetParam().field_type);
  EXPECT_EQ(DataTypeName(GetParam().advanced), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    AllAdvancedCodes, AdvancedLookupCases,
    ::testing::Values(
        AdvancedCase{adtUnknown, ftUnknown, "Unknown"}, AdvancedCase{adtChar, ftFixedChar, "CHAR"},
        AdvancedCase{adtString, ftString, "STRING"},
        AdvancedCase{adtWideChar, ftWideString, "WIDECHAR"},
        AdvancedCase{adtWideString, ftWideString, "WIDESTRING"},
        AdvancedCase{adtShortInt, ftSmallint, "SHORTINT"},
        AdvancedCase{adtSmallInt, ftSmallint, "SMALLINT"},
        AdvancedCase{adtInteger, ftInteger, "INTEGER"},
        AdvancedCase{adtLargeInt, ftLargeint, "LARGEINT"}, AdvancedCase{adtByte, ftWord, "BYTE"},
        AdvancedCase{adtWord, ftWord, "WORD"}, AdvancedCase{adtCardinal, ftLargeint, "CARDINAL"},
        AdvancedCase{adtAutoInc, ftAutoInc, "AUTOINC"},
        AdvancedCase{adtAutoIncShortInt, ftAutoInc, "AUTOINCSHORTINT"},
        AdvancedCase{adtAutoIncSmallInt, ftAutoInc, "AUTOINCSMALLINT"},
        AdvancedCase{adtAutoIncInteger, ftAutoInc, "AUTOINCINTEGER"},
        AdvancedCase{adtAutoIncLargeInt, ftLargeint, "AUTOINCLARGEINT"},
        AdvancedCase{adtAutoIncByte, ftAutoInc, "AUTOINCBYTE"},
        AdvancedCase{adtAutoIncWord, ftAutoInc, "AUTOINCWORD"},
        AdvancedCase{adtAutoIncCardinal, ftAutoInc, "AUTOINCCARDINAL"},
        AdvancedCase{adtSingle, ftFloat, "SINGLE"}, AdvancedCase{adtFloat, ftFloat, "FLOAT"},
        AdvancedCase{adtExtended, ftFloat, "EXTENDED"},
        AdvancedCase{adtLogical, ftBoolean, "LOGICAL"},
        AdvancedCase{adtCurrency, ftCurrency, "CURRENCY"}, AdvancedCase{adtDate, ftDate, "DATE"},
        AdvancedCase{adtTime, ftTime, "TIME"}, AdvancedCase{adtDateTime, ftDateTime, "DATETIME"},
        AdvancedCase{adtTimeStamp, ftTimeStamp, "TIMESTAMP"},
        AdvancedCase{adtBytes, ftBytes, "BYTES"}, AdvancedCase{adtVarBytes, ftVarBytes, "VARBYTES"},
        AdvancedCase{adtBlob, ftBlob, "BLOB"}, AdvancedCase{adtGraphic, ftGraphic, "GRAPHIC"},
        AdvancedCase{adtMemo, ftMemo, "MEMO"},
        AdvancedCase{adtFormattedMemo, ftFmtMemo, "FORMATTEDMEMO"},
        AdvancedCase{adtWideMemo, ftBlob, "WIDEMEMO"}, AdvancedCase{adtGuid, ftGuid, "GUID"}));

TEST(ParseDataTypeNameTest, UpperCasesAndTakesTheFirstRow) {
  EXPECT_EQ(ParseDataTypeName("double"), adtFloat);
  EXPECT_EQ(ParseDataTypeName("Varchar2"), adtString);
  EXPECT_EQ(ParseDataTypeName("widechar"), adtWideChar);
  EXPECT_EQ(ParseDataTypeName("money"), adtCurrency);
  EXPECT_EQ(ParseDataTypeName("wideclob"), adtWideMemo);
  EXPECT_EQ(ParseDataTypeName("number"), adtUnknown);
  EXPECT_EQ(ParseDataTypeName(""), adtUnknown);
  for (const DataTypeNameRow& row : DataTypeNames) {
    EXPECT_EQ(DataTypeName(ParseDataTypeName(row.name)), DataTypeName(row.advanced)) << row.name;
  }
}

struct SizeCase {
  BaseDataType base;
  int32_t declared;
  int32_t buffer_size;
  int32_t stored_size;
};

class SizeCases : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeCases, BufferAndStoredSizes) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(DataSizeOf(c.base, c.declared), c.buffer_size);
  EXPECT_EQ(StoredSizeOf(c.base, c.declared), c.stored_size);
}

INSTANTIATE_TEST_SUITE_P(
    AllBaseCodes, SizeCases,
    ::testing::Values(SizeCase{bdtChar, 38, 39, 39}, SizeCase{bdtWideChar, 10, 22, 22},
                      SizeCase{bdtString, 40, 41, 41}, SizeCase{bdtWideString, 40, 82, 82},
                      SizeCase{bdtShortInt, 9, 1, 1}, SizeCase{bdtSmallInt, 0, 2, 2},
                      SizeCase{bdtInteger, 0, 4, 4}, SizeCase{bdtLargeInt, 0, 8, 8},
                      SizeCase{bdtByte, 0, 1, 1}, SizeCase{bdtWord, 0, 2, 2},
                      SizeCase{bdtCardinal, 0, 4, 4}, SizeCase{bdtSingle, 0, 4, 4},
                      SizeCase{bdtFloat, 0, 8, 8}, SizeCase{bdtExtended, 0, 10, 10},
                      SizeCase{bdtDate, 0, 4, 4}, SizeCase{bdtTime, 0, 4, 4},
                      SizeCase{bdtDateTime, 0, 8, 8}, SizeCase{bdtBlob, 0, 10, 6},
                      SizeCase{bdtMemo, 100, 10, 6}, SizeCase{bdtWideMemo, 0, 10, 6},
                      SizeCase{bdtLogical, 0, 2, 2}, SizeCase{bdtCurrency, 0, 8, 8},
                      SizeCase{bdtBytes, 16, 17, 17}, SizeCase{bdtVarBytes, 16, 17, 17}));

TEST(DataSizeOfTest, UnknownBaseTypeIsRefused) {
  ExpectEngineError([] { DataSizeOf(bdtUnknown, 4); }, 30050,
                    "Unknown DataType: 'Unknown' - Native error: 30050");
  ExpectEngineError([] { StoredSizeOf(static_cast<BaseDataType>(99), 4); }, 30050,
                    "Unknown DataType: 'Unknown' - Native error: 30050");
}

TEST(DeclaredBaseTypeTest, TypesWithoutBaseAreUnsupported) {
  EXPECT_EQ(DeclaredBaseType(adtAutoInc), bdtInteger);
  ExpectEngineError([] { DeclaredBaseType(adtUnknown); }, 30007,
                    "Unsupported data type 'Unknown' - Native error: 30007");
}

TEST(TypeFamiliesTest, MembersByCode) {
  auto base_members = [](auto family) {
    std::string members;
    for (int code = 0; code < kBaseDataTypeCount + 2; ++code) {
      if (family(static_cast<BaseDataType>(code))) members += std::to_string(code) + " ";
    }
    return members;
  };
  auto advanced_members = [](auto family) {
    std::string members;
    for (int code = 0; code < 40; ++code) {
      if (family(static_cast<AdvancedDataType>(code))) members += std::to_string(code) + " ";
    }
    return members;
  };
  EXPECT_EQ(base_members(IsBaseStringType), "1 2 3 4 ");
  EXPECT_EQ(base_members(IsBaseWideType), "2 4 ");
  EXPECT_EQ(base_members(IsBaseBlobType), "18 19 20 ");
  EXPECT_EQ(base_members(IsBaseNumericType), "5 6 7 8 9 10 11 12 13 14 22 ");
  EXPECT_EQ(base_members(IsBaseDateTimeType), "15 16 17 ");
  EXPECT_EQ(advanced_members(IsAdvancedStringType), "1 2 3 4 36 ");
  EXPECT_EQ(advanced_members(IsAdvancedWideType), "3 4 ");
  EXPECT_EQ(advanced_members(IsAdvancedBytesType), "29 30 ");
  EXPECT_EQ(advanced_members(IsAdvancedBlobType), "31 32 33 34 35 ");
  EXPECT_EQ(advanced_members(IsAdvancedAutoincType), "12 13 14 15 16 17 18 19 ");
  EXPECT_EQ(advanced_members(IsSizedType), "1 2 3 4 29 30 ");
}

TEST(DeclaredSizeTest, GuidIsAlways38AndComponentDefsDropMeaninglessSizes) {
  EXPECT_EQ(NormalizedDeclaredSize(adtGuid, 0, false), 38);
  EXPECT_EQ(NormalizedDeclaredSize(adtGuid, 10, true), 38);
  EXPECT_EQ(NormalizedDeclaredSize(adtInteger, 10, true), 0);
  EXPECT_EQ(NormalizedDeclaredSize(adtInteger, 10, false), 10);
  EXPECT_EQ(NormalizedDeclaredSize(adtMemo, 20, true), 0);
  EXPECT_EQ(NormalizedDeclaredSize(adtString, 20, true), 20);
  EXPECT_EQ(NormalizedDeclaredSize(adtWideChar, 5, true), 5);
  EXPECT_EQ(NormalizedDeclaredSize(adtVarBytes, 16, true), 16);
}

TEST(DeclaredSizeTest, CreationRefusesUnsizedTextAndBadCompressionModes) {
  EXPECT_NO_THROW(CheckFieldCreation("T", "F", adtString, 1, 0, 0));
  EXPECT_NO_THROW(CheckFieldCreation("T", "F", adtInteger, 0, 0, 0));
  EXPECT_NO_THROW(CheckFieldCreation("T", "F", adtBlob, 0, 0, 0));
  EXPECT_NO_THROW(CheckFieldCreation("T", "F", adtMemo, 0, 1, 9));
  ExpectEngineError([] { CheckFieldCreation("T", "NAME", adtString, 0, 0, 0); }, 30453,
                    "Cannot create table 'T' with field: NAME STRING(0) - Native error: 30453");
  ExpectEngineError([] { CheckFieldCreation("T", "W", adtWideString, -2, 0, 0); }, 30453,
                    "Cannot create table 'T' with field: W WIDESTRING(-2) - Native error: 30453");
  ExpectEngineError([] { CheckFieldCreation("T", "G", adtGuid, 0, 0, 0); }, 30453,
                    "Cannot create table 'T' with field: G CHAR(0) - Native error: 30453");
  ExpectEngineError([] { CheckFieldCreation("T", "B", adtVarBytes, 0, 0, 0); }, 30453,
                    "Cannot create table 'T' with field: B VARBYTES(0) - Native error: 30453");
  ExpectEngineError([] { CheckFieldCreation("T", "PIC", adtGraphic, 0, 2, 0); }, 20257,
                    "Invalid BlobCompressionMode (must be in 1..9 range) for blob field 'PIC'. "
                    "Cannot create table 'T' - Native error: 20257");
  ExpectEngineError([] { CheckFieldCreation("T", "M", adtWideMemo, 0, 1, 10); }, 20257,
                    "Invalid BlobCompressionMode (must be in 1..9 range) for blob field 'M'. "
                    "Cannot create table 'T' - Native error: 20257");
}

struct DateCase {
  TDateTime value;
  EngineDate date;
  EngineTime time;
};

class DateEncodingCases : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateEncodingCases, EncodesAndDecodes) {
  const DateCase& c = GetParam();
  EngineDate date = 0;
  ASSERT_TRUE(TryDateTimeToEngineDate(c.value, date));
  EXPECT_EQ(date, c.date);
  EXPECT_EQ(DateTimeToEngineTime(c.value), c.time);
  EngineDateTime date_time{};
  ASSERT_TRUE(TryDateTimeToEngineDateTime(c.value, date_time));
  EXPECT_EQ(date_time, (EngineDateTime{c.date, c.time}));
  EXPECT_DOUBLE_EQ(EngineDateTimeToDateTime(date_time), c.value);
}

INSTANTIATE_TEST_SUITE_P(Values, DateEncodingCases,
                         ::testing::Values(DateCase{0.0, 693594, 0},
                                           DateCase{0.5, 693594, 43200000},
                                           DateCase{-693593.0, 1, 0},  // 0001-01-01
                                           DateCase{45325.75, 738919, 64800000},
                                           DateCase{-1.25, 693593, 21600000},  // 1899-12-29 06:00
                                           DateCase{1.0 / 86400000 * 1001, 693594, 1001}));

TEST(DateEncodingTest, EdgesOfTheEncoding) {
  EXPECT_DOUBLE_EQ(EngineDateToDateTime(693594), 0.0);
  EXPECT_DOUBLE_EQ(EngineTimeToDateTime(43200000), 0.5);
  EngineDate date = 0;
  EXPECT_FALSE(TryDateTimeToEngineDate(1e12, date));
  EXPECT_FALSE(TryDateTimeToEngineDate(std::numeric_limits<double>::quiet_NaN(), date));
  // A fraction that rounds to a whole day belongs to the next day.
  EngineDateTime date_time{};
  ASSERT_TRUE(TryDateTimeToEngineDateTime(1.9999999999, date_time));
  EXPECT_EQ(date_time, (EngineDateTime{693596, 0}));
  EXPECT_EQ(DateTimeToEngineTime(1.9999999999), 0);
}

struct DateTextCase {
  const char* text;
  bool is_date;
  bool is_time;
  bool is_date_time;
  TDateTime value;
};

class DateTextCases : public ::testing::TestWithParam<DateTextCase> {};

TEST_P(DateTextCases, FixedForms) {
  const DateTextCase& c = GetParam();
  TDateTime value = -1;
  EXPECT_EQ(TryParseDateText(c.text, value), c.is_date);
  if (c.is_date) {
    EXPECT_DOUBLE_EQ(value, c.value);
  }
  EXPECT_EQ(TryParseTimeText(c.text, value), c.is_time);
  if (c.is_time) {
    EXPECT_DOUBLE_EQ(value, c.value);
  }
  EXPECT_EQ(TryParseDateTimeText(c.text, value), c.is_date_time);
  if (c.is_date_time) {
    EXPECT_DOUBLE_EQ(value, c.value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateTextCases,
    ::testing::Values(DateTextCase{"2024-02-03", true, false, false, 45325},
                      DateTextCase{"2024/02/03", true, false, false, 45325},
                      DateTextCase{"2024-2-3", false, false, false, 0},
                      DateTextCase{"2024-02-03 ", false, false, false, 0},
                      DateTextCase{"2024--02-03", false, false, false, 0},
                      DateTextCase{"2023-02-29", false, false, false, 0},
                      DateTextCase{"2024-02-29", true, false, false, 45351},
                      DateTextCase{"0000-01-01", false, false, false, 0},
                      DateTextCase{"18:00:00", false, true, false, 0.75},
                      DateTextCase{"24:00:00", false, false, false, 0},
                      DateTextCase{"18:00", false, false, false, 0},
                      DateTextCase{"2024-02-03T18:00:00", false, false, true, 45325.75},
                      DateTextCase{"1899-12-29 06:00:00", false, false, true, -1.25},
                      DateTextCase{"2024-02-03 18:00:60", false, false, false, 0},
                      DateTextCase{"", false, false, false, 0}));

}  // namespace
}  // namespace tabshift
