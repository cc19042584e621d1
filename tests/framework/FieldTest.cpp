#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "framework/DataSet.h"
#include "framework/Exception.h"
#include "framework/Format.h"
#include "framework/FormatSettings.h"
#include "framework/Stream.h"
#include "framework/VectorDataSet.h"

namespace tabshift {
namespace {

using testing::VectorDataSet;
using Bytes = std::vector<uint8_t>;

// One field "F" of the given type in a new record of an open dataset.
class OneFieldRecord {
 public:
  OneFieldRecord(TFieldType type, int32_t size) {
    data_.FieldDefs().Add("F", type, size);
    data_.Open();
    data_.Append();
  }
  TField& Field() { return data_.FieldByName("F"); }
  VectorDataSet& Data() { return data_; }

 private:
  VectorDataSet data_;
};

struct ConversionCase {
  const char* label;
  TFieldType type;
  int32_t size;
  std::function<void(TField&)> set;
  std::function<void(const TField&)> check;
};

std::ostream& operator<<(std::ostream& out, const ConversionCase& c) {
  return out << c.label;
}

class FieldConversionTest : public ::testing::TestWithParam<ConversionCase> {};

// Each value is checked in the record being inserted, then again after posting it and
// reading it back.
TEST_P(FieldConversionTest, ValueReadsBackInEveryForm) {
  const ConversionCase& c = GetParam();
  OneFieldRecord record(c.type, c.size);
  c.set(record.Field());
  EXPECT_FALSE(record.Field().IsNull());
  c.check(record.Field());
  record.Data().Post();
  record.Data().Close();
  record.Data().Open();
  c.check(record.Field());
}

Variant VariantOf(const TField& field) {
  return field.AsVariant();
}

const ConversionCase kConversionCases[] = {
    {"SmallintFromInteger", ftSmallint, 0, [](TField& f) { f.SetAsInteger(-123); },
     [](const TField& f) {
       EXPECT_EQ(f.AsInteger(), -123);
       EXPECT_EQ(f.AsLargeInt(), -123);
       EXPECT_EQ(f.AsFloat(), -123.0);
       EXPECT_EQ(f.AsString(), "-123");
       EXPECT_TRUE(f.AsBoolean());
       EXPECT_EQ(f.AsBytes(), (Bytes{0x85, 0xFF}));
       EXPECT_EQ(VariantOf(f), Variant::FromSmallint(-123));
     }},
    {"SmallintFromText", ftSmallint, 0, [](TField& f) { f.SetAsString(" 321"); },
     [](const TField& f) { EXPECT_EQ(f.AsInteger(), 321); }},
    {"SmallintFromFloatRoundsHalfToEven", ftSmallint, 0, [](TField& f) { f.SetAsFloat(2.5); },
     [](const TField& f) { EXPECT_EQ(f.AsInteger(), 2); }},
    {"IntegerFromFloatRounds", ftInteger, 0, [](TField& f) { f.SetAsFloat(-3.6); },
     [](const TField& f) { EXPECT_EQ(f.AsInteger(), -4); }},
    {"WordAtItsTop", ftWord, 0, [](TField& f) { f.SetAsInteger(65535); },
     [](const TField& f) {
       EXPECT_EQ(f.AsInteger(), 65535);
       EXPECT_EQ(VariantOf(f), Variant::FromWord(65535));
     }},
    {"IntegerFromBoolean", ftInteger, 0, [](TField& f) { f.SetAsBoolean(true); },
     [](const TField& f) {
       EXPECT_EQ(f.AsInteger(), 1);
       EXPECT_EQ(VariantOf(f), Variant::FromInteger(1));
     }},
    {"IntegerFromNativeBytes", ftInteger, 0,
     [](TField& f) {
       f.SetAsBytes(Bytes{0x01, 0x02, 0x00, 0x00});
     },
     [](const TField& f) { EXPECT_EQ(f.AsInteger(), 0x0201); }},
    {"AutoIncFromVariant", ftAutoInc, 0, [](TField& f) { f.SetAsVariant(Variant::FromInt64(7)); },
     [](const TField& f) { EXPECT_EQ(VariantOf(f), Variant::FromInteger(7)); }},
    {"LargeintAtItsTop", ftLargeint, 0,
     [](TField& f) { f.SetAsLargeInt(std::numeric_limits<int64_t>::max()); },
     [](const TField& f) {
       EXPECT_EQ(f.AsLargeInt(), std::numeric_limits<int64_t>::max());
       EXPECT_EQ(f.AsString(), "9223372036854775807");
       EXPECT_EQ(VariantOf(f), Variant::FromInt64(std::numeric_limits<int64_t>::max()));
     }},
    {"LargeintFromText", ftLargeint, 0, [](TField& f) { f.SetAsString("-9223372036854775808"); },
     [](const TField& f) { EXPECT_EQ(f.AsLargeInt(), std::numeric_limits<int64_t>::min()); }},
    {"LargeintFromShortIntVariant", ftLargeint, 0,
     [](TField& f) { f.SetAsVariant(Variant::FromShortInt(-5)); },
     [](const TField& f) { EXPECT_EQ(f.AsLargeInt(), -5); }},
    {"Float", ftFloat, 0, [](TField& f) { f.SetAsFloat(1.5); },
     [](const TField& f) {
       EXPECT_EQ(f.AsFloat(), 1.5);
       EXPECT_EQ(f.AsString(), "1.5");
       EXPECT_EQ(f.AsInteger(), 2);
       EXPECT_EQ(f.AsDateTime(), 1.5);
       EXPECT_EQ(VariantOf(f), Variant::FromDouble(1.5));
     }},
    {"FloatFromText", ftFloat, 0, [](TField& f) { f.SetAsString("-2.25E2"); },
     [](const TField& f) { EXPECT_EQ(f.AsFloat(), -225.0); }},
    {"FloatFromDateVariant", ftFloat, 0, [](TField& f) { f.SetAsVariant(Variant::FromDate(2.5)); },
     [](const TField& f) { EXPECT_EQ(f.AsFloat(), 2.5); }},
    {"Currency", ftCurrency, 0, [](TField& f) { f.SetAsFloat(12.3456); },
     [](const TField& f) { EXPECT_EQ(VariantOf(f), Variant::FromCurrency(12.3456)); }},
    {"DateKeepsWholeDays", ftDate, 0, [](TField& f) { f.SetAsDateTime(45000.75); },
     [](const TField& f) {
       EXPECT_EQ(f.AsDateTime(), 45000.0);
       EXPECT_EQ(f.AsFloat(), 45000.0);
       EXPECT_EQ(f.AsString(), "2023-03-15");
       EXPECT_EQ(VariantOf(f), Variant::FromDate(45000.0));
     }},
    {"DateFromText", ftDate, 0, [](TField& f) { f.SetAsString("1899-12-31"); },
     [](const TField& f) { EXPECT_EQ(f.AsDateTime(), 1.0); }},
    {"TimeKeepsTheTimeOfDay", ftTime, 0, [](TField& f) { f.SetAsDateTime(1.25); },
     [](const TField& f) {
       EXPECT_EQ(f.AsDateTime(), 0.25);
       EXPECT_EQ(f.AsString(), "06:00:00");
     }},
    {"DateTimeFromText", ftDateTime, 0, [](TField& f) { f.SetAsString("2023-03-15 06:00:00"); },
     [](const TField& f) {
       EXPECT_EQ(f.AsDateTime(), 45000.25);
       EXPECT_EQ(f.AsString(), "2023-03-15 06:00:00");
     }},
    {"BooleanFromText", ftBoolean, 0, [](TField& f) { f.SetAsString("TRUE"); },
     [](const TField& f) {
       EXPECT_TRUE(f.AsBoolean());
       EXPECT_EQ(f.AsString(), "True");
       EXPECT_EQ(f.AsInteger(), 1);
       EXPECT_EQ(VariantOf(f), Variant::FromBoolean(true));
     }},
    {"BooleanFalseFromInteger", ftBoolean, 0, [](TField& f) { f.SetAsInteger(0); },
     [](const TField& f) { EXPECT_EQ(f.AsString(), "False"); }},
    {"StringIsCutToItsSize", ftString, 5, [](TField& f) { f.SetAsString("abcdefgh"); },
     [](const TField& f) {
       EXPECT_EQ(f.AsString(), "abcde");
       EXPECT_EQ(VariantOf(f), Variant::FromString("abcde"));
       EXPECT_EQ(f.AsBytes(), (Bytes{'a', 'b', 'c', 'd', 'e'}));
     }},
    {"StringOfSizeOne", ftString, 1, [](TField& f) { f.SetAsString("Z"); },
     [](const TField& f) { EXPECT_EQ(f.AsString(), "Z"); }},
    {"EmptyStringIsNotNull", ftString, 4, [](TField& f) { f.SetAsString(""); },
     [](const TField& f) { EXPECT_EQ(f.AsString(), ""); }},
    {"StringFromInteger", ftString, 10, [](TField& f) { f.SetAsInteger(42); },
     [](const TField& f) {
       EXPECT_EQ(f.AsString(), "42");
       EXPECT_EQ(f.AsInteger(), 42);
     }},
    {"StringFromFloat", ftString, 10, [](TField& f) { f.SetAsFloat(0.5); },
     [](const TField& f) { EXPECT_EQ(f.AsFloat(), 0.5); }},
    {"WideStringIsCutToItsSize", ftWideString, 4, [](TField& f) { f.SetAsString("hello"); },
     [](const TField& f) {
       EXPECT_EQ(f.AsWideString(), u"hell");
       EXPECT_EQ(f.AsString(), "hell");
       EXPECT_EQ(VariantOf(f), Variant::FromOleStr(u"hell"));
     }},
    {"WideStringKeepsUtf16", ftWideString, 8,
     [](TField& f) { f.SetAsWideString(u"\u20ac\u0416x"); },
     [](const TField& f) {
       EXPECT_EQ(f.AsWideString(), u"\u20ac\u0416x");
       EXPECT_EQ(f.AsBytes(), (Bytes{0xAC, 0x20, 0x16, 0x04, 'x', 0}));
     }},
    {"BytesArePaddedWithZeros", ftBytes, 4,
     [](TField& f) {
       f.SetAsBytes(Bytes{1, 2});
     },
     [](const TField& f) {
       EXPECT_EQ(f.AsBytes(), (Bytes{1, 2, 0, 0}));
       EXPECT_EQ(VariantOf(f), Variant::FromBytes(Bytes{1, 2, 0, 0}));
     }},
    {"BytesFromNativeData", ftBytes, 4, [](TField& f) { f.SetData("ABCD"); },
     [](const TField& f) {
       EXPECT_EQ(f.AsString(), "ABCD");
       uint8_t native[4];
       ASSERT_TRUE(f.GetData(native));
       EXPECT_EQ(std::memcmp(native, "ABCD", 4), 0);
     }},
    {"VarBytesKeepTheirLength", ftVarBytes, 4,
     [](TField& f) {
       f.SetAsBytes(Bytes{9, 8, 7});
     },
     [](const TField& f) {
       EXPECT_EQ(f.AsBytes(), (Bytes{9, 8, 7}));
       EXPECT_EQ(f.AsString(), "\x09\x08\x07");
     }},
    {"EmptyVarBytes", ftVarBytes, 4, [](TField& f) { f.SetAsBytes(Bytes{}); },
     [](const TField& f) { EXPECT_TRUE(f.AsBytes().empty()); }},
    {"BlobFromText", ftBlob, 0, [](TField& f) { f.SetAsString("hello"); },
     [](const TField& f) {
       EXPECT_EQ(f.AsBytes(), (Bytes{'h', 'e', 'l', 'l', 'o'}));
       EXPECT_EQ(VariantOf(f), Variant::FromString("hello"));
     }},
    {"MemoFromVariant", ftMemo, 0,
     [](TField& f) { f.SetAsVariant(Variant::FromString("memo text")); },
     [](const TField& f) { EXPECT_EQ(f.AsString(), "memo text"); }},
    {"GraphicFromByteArray", ftGraphic, 0,
     [](TField& f) {
       f.SetAsVariant(Variant::FromBytes(Bytes{0, 1, 0, 255}));
     },
     [](const TField& f) {
       EXPECT_EQ(f.AsBytes(), (Bytes{0, 1, 0, 255}));
     }},
};

INSTANTIATE_TEST_SUITE_P(Cases, FieldConversionTest, ::testing::ValuesIn(kConversionCases),
                         [](const auto& info) { return std::string(info.param.label); });

struct RefusedCase {
  const char* label;
  TFieldType type;
  int32_t size;
  std::function<void(TField&)> act;
  std::string message;
};

std::ostream& operator<<(std::ostream& out, const RefusedCase& c) {
  return out << c.label;
}

class FieldRefusalTest : public ::testing::TestWithParam<RefusedCase> {};

// A refused value raises and leaves the field as it was (NULL here).
TEST_P(FieldRefusalTest, RaisesWithItsMessageAndChangesNothing) {
  const RefusedCase& c = GetParam();
  OneFieldRecord record(c.type, c.size);
  try {
    c.act(record.Field());
    ADD_FAILURE() << "no error";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(), c.message);
  }
  EXPECT_TRUE(record.Field().IsNull());
}

const RefusedCase kRefusedCases[] = {
    {"SmallintRange", ftSmallint, 0, [](TField& f) { f.SetAsInteger(40000); },
     "40000 is not a valid value for field 'F'. The allowed range is -32768 to 32767"},
    {"WordRange", ftWord, 0, [](TField& f) { f.SetAsInteger(-1); },
     "-1 is not a valid value for field 'F'. The allowed range is 0 to 65535"},
    {"IntegerRangeFromFloat", ftInteger, 0, [](TField& f) { f.SetAsFloat(1e12); },
     "1000000000000 is not a valid value for field 'F'. The allowed range is -2147483648 to "
     "2147483647"},
    {"LargeintRangeFromFloat", ftLargeint, 0, [](TField& f) { f.SetAsFloat(1e300); },
     "1E300 is not a valid value for field 'F'. The allowed range is -9223372036854775808 to "
     "9223372036854775807"},
    {"IntegerText", ftInteger, 0, [](TField& f) { f.SetAsString("12x"); },
     "'12x' is not a valid integer value"},
    {"FloatText", ftFloat, 0, [](TField& f) { f.SetAsString("abc"); },
     "'abc' is not a valid floating point value"},
    {"DateText", ftDate, 0, [](TField& f) { f.SetAsString("2023-13-01"); },
     "'2023-13-01' is not a valid date"},
    {"BooleanText", ftBoolean, 0, [](TField& f) { f.SetAsString("maybe"); },
     "'maybe' is not a valid boolean value"},
    {"IntegerAsDateTime", ftInteger, 0, [](TField& f) { f.SetAsDateTime(1.0); },
     "Cannot access field 'F' as type DateTime"},
    {"DateAsInteger", ftDate, 0, [](TField& f) { f.SetAsInteger(1); },
     "Cannot access field 'F' as type LargeInt"},
    {"BooleanAsFloat", ftBoolean, 0, [](TField& f) { f.SetAsFloat(1); },
     "Cannot access field 'F' as type Float"},
    {"BlobAsInteger", ftBlob, 0, [](TField& f) { f.SetAsInteger(1); },
     "Cannot access field 'F' as type LargeInt"},
    {"BlobNativeData", ftBlob, 0, [](TField& f) { f.SetData("x"); },
     "Cannot access field 'F' as type Bytes"},
    {"StreamIntoInteger", ftInteger, 0,
     [](TField& f) {
       TMemoryStream source;
       f.LoadFromStream(source);
     },
     "Cannot access field 'F' as type Blob"},
    {"BytesTooLong", ftBytes, 2,
     [](TField& f) {
       f.SetAsBytes(Bytes{1, 2, 3});
     },
     "Value of 3 bytes does not fit field 'F' of 2 bytes"},
    {"VarBytesTooLong", ftVarBytes, 2, [](TField& f) { f.SetAsString("abc"); },
     "Value of 3 bytes does not fit field 'F' of 2 bytes"},
    {"NativeBytesOfTheWrongSize", ftInteger, 0,
     [](TField& f) {
       f.SetAsBytes(Bytes{1, 2});
     },
     "Value of 2 bytes does not fit field 'F' of 4 bytes"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FieldRefusalTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FieldConversionErrorsTest, TextThatDoesNotConvertIsAConvertError) {
  OneFieldRecord record(ftInteger, 0);
  EXPECT_THROW(record.Field().SetAsString("x"), EConvertError);
  OneFieldRecord text(ftString, 5);
  text.Field().SetAsString("x");
  EXPECT_THROW((void)text.Field().AsInteger(), EConvertError);
  EXPECT_THROW((void)text.Field().AsDateTime(), EConvertError);
  OneFieldRecord large(ftLargeint, 0);
  large.Field().SetAsLargeInt(int64_t{1} << 40);
  try {
    (void)large.Field().AsInteger();
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(),
              "Value 1099511627776 of field 'F' is out of the range of type Integer");
  }
}

// A text every field of the type accepts.
const char* SampleText(TFieldType type) {
  switch (type) {
    case ftBoolean:
      return "True";
    case ftDate:
      return "2020-01-02";
    case ftTime:
      return "01:02:03";
    case ftDateTime:
      return "2020-01-02 01:02:03";
    default:
      return "1";
  }
}

// Every field type in one record.
class AllTypesRecord : public ::testing::Test {
 protected:
  AllTypesRecord() {
    const std::pair<TFieldType, int32_t> types[] = {
        {ftString, 8},   {ftFixedChar, 3}, {ftWideString, 4}, {ftSmallint, 0}, {ftWord, 0},
        {ftInteger, 0},  {ftAutoInc, 0},   {ftLargeint, 0},   {ftBoolean, 0},  {ftFloat, 0},
        {ftCurrency, 0}, {ftDate, 0},      {ftTime, 0},       {ftDateTime, 0}, {ftBytes, 3},
        {ftVarBytes, 3}, {ftBlob, 0},      {ftMemo, 0},       {ftGraphic, 0},  {ftGuid, 38}};
    for (const auto& [type, size] : types) {
      data_.FieldDefs().Add(Format("F%d", {static_cast<int>(type)}), type, size);
    }
    data_.Open();
  }

  void ExpectAllNull() {
    for (int i = 0; i < data_.FieldCount(); ++i) {
      const TField& field = data_.Fields()[i];
      SCOPED_TRACE(field.FieldName());
      EXPECT_TRUE(field.IsNull());
      EXPECT_EQ(field.AsString(), "");
      EXPECT_TRUE(field.AsBytes().empty());
      EXPECT_EQ(field.AsVariant(), Variant::Null());
    }
  }

  VectorDataSet data_;
};

TEST_F(AllTypesRecord, NewRecordIsNullEverywhereAndStaysSoAfterPost) {
  data_.Append();
  ExpectAllNull();
  EXPECT_EQ(data_.FieldByName("F3").AsInteger(), 0);
  EXPECT_EQ(data_.FieldByName("F6").AsFloat(), 0.0);
  EXPECT_FALSE(data_.FieldByName("F5").AsBoolean());
  EXPECT_EQ(data_.FieldByName("F25").AsLargeInt(), 0);
  data_.Post();
  data_.First();
  ExpectAllNull();
}

TEST_F(AllTypesRecord, ClearMakesEveryValueNullAgain) {
  data_.Append();
  for (int i = 0; i < data_.FieldCount(); ++i) {
    TField& field = data_.Fields()[i];
    field.SetAsString(SampleText(field.DataType()));
    EXPECT_FALSE(field.IsNull()) << field.FieldName();
  }
  data_.Post();
  data_.Edit();
  for (int i = 0; i < data_.FieldCount(); ++i) data_.Fields()[i].Clear();
  EXPECT_TRUE(data_.Modified());
  data_.Post();
  data_.First();
  ExpectAllNull();
}

TEST_F(AllTypesRecord, EmptyTextMakesNumbersAndDatesNull) {
  data_.Append();
  for (const char* name : {"F2", "F3", "F5", "F6", "F9", "F25"}) {
    TField& field = data_.FieldByName(name);
    field.SetAsString(SampleText(field.DataType()));
    EXPECT_FALSE(field.IsNull()) << name;
    field.SetAsString("");
    EXPECT_TRUE(field.IsNull()) << name;
  }
}

TEST_F(AllTypesRecord, VariantCopiesEveryFieldIntoAnotherDataset) {
  data_.Append();
  data_.FieldByName("F1").SetAsString("text");
  data_.FieldByName("F24").SetAsWideString(u"w\u0416");
  data_.FieldByName("F2").SetAsInteger(-2);
  data_.FieldByName("F3").SetAsInteger(3);
  data_.FieldByName("F25").SetAsLargeInt(int64_t{1} << 50);
  data_.FieldByName("F5").SetAsBoolean(true);
  data_.FieldByName("F6").SetAsFloat(6.5);
  data_.FieldByName("F9").SetAsDateTime(9.0);
  data_.FieldByName("F12").SetAsBytes(Bytes{1, 2, 3});
  data_.FieldByName("F13").SetAsBytes(Bytes{4});
  data_.FieldByName("F15").SetAsBytes(Bytes{0, 5, 0});
  data_.Post();

  VectorDataSet copy;
  copy.FieldDefs() = data_.FieldDefs();
  copy.Open();
  copy.Append();
  for (int i = 0; i < data_.FieldCount(); ++i)
    copy.Fields()[i].SetAsVariant(data_.Fields()[i].AsVariant());
  copy.Post();
  copy.First();
  for (int i = 0; i < data_.FieldCount(); ++i) {
    SCOPED_TRACE(data_.Fields()[i].FieldName());
    EXPECT_EQ(copy.Fields()[i].AsVariant(), data_.Fields()[i].AsVariant());
  }
}

class BlobFieldTest : public ::testing::Test {
 protected:
  BlobFieldTest() {
    data_.FieldDefs().Add("ID", ftInteger);
    data_.FieldDefs().Add("DATA", ftBlob);
    data_.Open();
  }

  static Bytes Pattern(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
  }

  VectorDataSet data_;
};

TEST_F(BlobFieldTest, StreamsCarryLargeAndEmptyValuesWhole) {
  for (const size_t size : {size_t{70000}, size_t{0}, size_t{1}}) {
    data_.Append();
    data_.FieldByName("ID").SetAsInteger(static_cast<int32_t>(size));
    TMemoryStream source;
    const Bytes content = Pattern(size);
    source.WriteBuffer(content.data(), content.size());
    data_.FieldByName("DATA").LoadFromStream(source);
    EXPECT_TRUE(data_.Modified());
    data_.Post();
  }
  data_.First();
  for (const size_t size : {size_t{70000}, size_t{0}, size_t{1}}) {
    SCOPED_TRACE(size);
    ASSERT_FALSE(data_.Eof());
    TField& blob = data_.FieldByName("DATA");
    EXPECT_FALSE(blob.IsNull());
    TMemoryStream target;
    blob.SaveToStream(target);
    EXPECT_EQ(Bytes(target.Memory(), target.Memory() + target.Size()), Pattern(size));
    EXPECT_EQ(blob.AsBytes(), Pattern(size));
    data_.Next();
  }
}

TEST_F(BlobFieldTest, StreamModesReadWriteAndAppend) {
  data_.Append();
  TField& blob = data_.FieldByName("DATA");
  blob.SetAsString("abc");
  {
    std::unique_ptr<TStream> stream = data_.CreateBlobStream(blob, bmReadWrite);
    EXPECT_EQ(stream->Size(), 3);
    stream->Seek(0, SeekOrigin::End);
    stream->WriteBuffer("def", 3);
  }
  EXPECT_EQ(blob.AsString(), "abcdef");
  {
    std::unique_ptr<TStream> stream = data_.CreateBlobStream(blob, bmWrite);
    EXPECT_EQ(stream->Size(), 0);
    stream->WriteBuffer("xy", 2);
  }
  EXPECT_EQ(blob.AsString(), "xy");
  data_.Post();
  std::unique_ptr<TStream> stream = data_.CreateBlobStream(blob, bmRead);
  char text[2];
  stream->ReadBuffer(text, 2);
  EXPECT_EQ(std::string(text, 2), "xy");
}

TEST_F(BlobFieldTest, WritingOutsideEditIsRefusedAndReadingANullBlobGivesNothing) {
  data_.Append();
  data_.Post();
  TField& blob = data_.FieldByName("DATA");
  EXPECT_TRUE(blob.IsNull());
  EXPECT_EQ(blob.AsString(), "");
  TMemoryStream target;
  blob.SaveToStream(target);
  EXPECT_EQ(target.Size(), 0);
  EXPECT_THROW(data_.CreateBlobStream(blob, bmWrite), EDatabaseError);
  EXPECT_THROW(blob.SetAsString("x"), EDatabaseError);
  data_.Edit();
  blob.SetAsString("x");
  data_.Cancel();
  EXPECT_TRUE(blob.IsNull());
}

TEST_F(BlobFieldTest, ARawStreamWriteMarksTheRecordModified) {
  data_.Append();
  data_.FieldByName("ID").SetAsInteger(1);
  data_.Post();
  data_.Edit();
  EXPECT_FALSE(data_.Modified());
  data_.CreateBlobStream(data_.FieldByName("DATA"), bmWrite)->WriteBuffer("z", 1);
  EXPECT_TRUE(data_.Modified());
  data_.Next();  // posts the modified record
  EXPECT_EQ(data_.State(), dsBrowse);
  data_.First();
  EXPECT_EQ(data_.FieldByName("DATA").AsString(), "z");
}

}  // namespace
}  // namespace tabshift
