#include <gtest/gtest.h>

#include "VariantTestSupport.h"
#include "engine/access/ABSExcept.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

using namespace test;

void ExpectEngineError(auto action, int32_t code, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), code);
    EXPECT_EQ(error.Message(), message);
  }
}

TEST(TABSVariantTest, NewValueIsNullOfItsType) {
  const TABSVariant value(bdtInteger);
  EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(value.Type(), bdtInteger);
  EXPECT_EQ(value.NullFlag(), 255);
  EXPECT_EQ(value.Size(), 0);
  EXPECT_EQ(value.TextLength(), -1);
}

TEST(TABSVariantTest, EachSetterStoresTheRecordEncodingOfItsType) {
  TABSVariant v;
  v.SetAsShortInt(-5);
  EXPECT_EQ(Show(v), "SHORTINT:-5");
  v.Clear(bdtUnknown);
  v.SetAsSmallInt(-300);
  EXPECT_EQ(Show(v), "SMALLINT:-300");
  v.Clear(bdtUnknown);
  v.SetAsLargeInt(-5000000000);
  EXPECT_EQ(Show(v), "LARGEINT:-5000000000");
  v.Clear(bdtUnknown);
  v.SetAsByte(200);
  EXPECT_EQ(Show(v), "BYTE:200");
  v.Clear(bdtUnknown);
  v.SetAsWord(60000);
  EXPECT_EQ(Show(v), "WORD:60000");
  v.Clear(bdtUnknown);
  v.SetAsCardinal(4000000000u);
  EXPECT_EQ(Show(v), "CARDINAL:4000000000");
  v.Clear(bdtUnknown);
  v.SetAsSingle(1.5f);
  EXPECT_EQ(Show(v), "SINGLE:1.5");
  v.Clear(bdtUnknown);
  v.SetAsExtended(0.1);
  EXPECT_EQ(v.Size(), 10);
  EXPECT_EQ(v.GetAsExtended(), 0.1);
  v.Clear(bdtUnknown);
  v.SetAsDate(0.0);
  EXPECT_EQ(Show(v), "DATE:693594");
  EXPECT_EQ(v.GetAsDate(), 0.0);
  v.Clear(bdtUnknown);
  v.SetAsTime(0.5);
  EXPECT_EQ(Show(v), "TIME:43200000");
  v.Clear(bdtUnknown);
  v.SetAsDateTime(45325.75);
  EXPECT_EQ(Show(v), "DATETIME:738919,64800000");
  EXPECT_EQ(v.GetAsDateTime(), 45325.75);
  v.Clear(bdtUnknown);
  v.SetAsLogical(true);
  EXPECT_EQ(Show(v), "LOGICAL:-1");
  v.Clear(bdtUnknown);
  v.SetAsCurrency(12.5);
  EXPECT_EQ(Show(v), "CURRENCY:12.5");
  v.Clear(bdtUnknown);
  v.SetAsString("abc");
  EXPECT_EQ(Show(v), "STRING:abc");
  EXPECT_EQ(v.Size(), 4);
  EXPECT_EQ(v.TextLength(), 3);
  v.Clear(bdtUnknown);
  v.SetAsWideString(u"abc");
  EXPECT_EQ(Show(v), "WIDESTRING:abc");
  EXPECT_EQ(v.Size(), 8);
  EXPECT_EQ(v.TextLength(), 3);
}

TEST(TABSVariantTest, ASetterOfAnotherTypeConvertsToTheValuesType) {
  TABSVariant v(bdtShortInt);
  v.SetAsInteger(300);
  EXPECT_EQ(Show(v), "SHORTINT:44");
  TABSVariant text(bdtString);
  text.SetAsFloat(2.5);
  EXPECT_EQ(Show(text), "STRING:2.5");
  TABSVariant currency = Curr(1.5);
  EXPECT_THROW(currency.SetAsLogical(true), EABSException);
  EXPECT_EQ(Show(currency), "CURRENCY:1.5");
  TABSVariant logical = Logical(0);
  logical.SetAsCurrency(2);
  EXPECT_EQ(Show(logical), "LOGICAL:-1");
  TABSVariant date(bdtDate);
  date.SetAsString("2024-02-03");
  EXPECT_EQ(Show(date), "DATE:738919");
}

TEST(TABSVariantTest, EmptyTextLeavesTheValueNull) {
  TABSVariant v = Str("abc");
  v.SetAsString("");
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.Type(), bdtString);
  TABSVariant wide;
  wide.SetAsWideString(u"");
  EXPECT_TRUE(wide.IsNull());
  EXPECT_EQ(wide.Type(), bdtWideString);
}

TEST(TABSVariantTest, GettersConvertAndNullIsRefusedExceptAsText) {
  const TABSVariant v = Str("42");
  EXPECT_EQ(v.GetAsInteger(), 42);
  EXPECT_EQ(v.GetAsLargeInt(), 42);
  EXPECT_EQ(v.GetAsFloat(), 42.0);
  EXPECT_EQ(Int(7).GetAsString(), "7");
  EXPECT_EQ(Int(7).GetAsWideString(), u"7");
  EXPECT_TRUE(Int(7).GetAsLogical());
  EXPECT_EQ(Float(738000.75).GetAsEngineDateTime(), (EngineDateTime{738000, 64800000}));
  const TABSVariant null_value(bdtInteger);
  EXPECT_EQ(null_value.GetAsString(), "");
  EXPECT_EQ(null_value.GetAsWideString(), u"");
  ExpectEngineError([&] { null_value.GetAsInteger(); }, 30016,
                    "Value is Null - Native error: 30016");
  ExpectEngineError([&] { null_value.GetAsLogical(); }, 30016,
                    "Value is Null - Native error: 30016");
  ExpectEngineError([&] { null_value.GetAsDate(); }, 30016, "Value is Null - Native error: 30016");
}

TEST(TABSVariantTest, SetBufferCopiesOrBorrows) {
  uint8_t record[4] = {1, 0, 0, 0};
  TABSVariant borrowed(bdtInteger);
  borrowed.SetBuffer(record, 4, false, bdtInteger);
  EXPECT_TRUE(borrowed.Borrowed());
  EXPECT_EQ(borrowed.Buffer(), record);
  record[0] = 9;
  EXPECT_EQ(borrowed.GetAsInteger(), 9);

  TABSVariant copy;
  copy.Assign(borrowed, true);
  EXPECT_FALSE(copy.Borrowed());
  EXPECT_NE(copy.Buffer(), record);
  record[0] = 3;
  EXPECT_EQ(copy.GetAsInteger(), 9);

  TABSVariant alias;
  alias.Assign(copy, false);
  EXPECT_TRUE(alias.Borrowed());
  EXPECT_EQ(alias.Buffer(), copy.Buffer());

  const TABSVariant deep = borrowed;  // copies are deep
  EXPECT_FALSE(deep.Borrowed());
  EXPECT_EQ(deep.GetAsInteger(), 3);
}

TEST(TABSVariantTest, LongValuesLeaveTheInlineStorage) {
  const std::string long_text(1000, 'q');
  TABSVariant v = Str(long_text);
  EXPECT_EQ(v.GetAsString(), long_text);
  const TABSVariant copy = v;
  v.SetAsString("short");
  EXPECT_EQ(copy.GetAsString(), long_text);
  EXPECT_EQ(v.GetAsString(), "short");
}

TEST(TABSVariantTest, GetBuffer) {
  uint8_t out[8] = {};
  EXPECT_FALSE(TABSVariant(bdtInteger).GetBuffer(out, 8));
  EXPECT_TRUE(Int(0x01020304).GetBuffer(out, 4));
  EXPECT_EQ(out[0], 4);
  EXPECT_TRUE(Int(1).GetBuffer(out, -1));
  ExpectEngineError([&] { Int(1).GetBuffer(out, 3); }, 20056,
                    "Buffer size exceeded - Native error: 20056");
  TABSVariant empty_text;
  empty_text.SetBuffer(reinterpret_cast<const uint8_t*>(""), 1, true, bdtString);
  EXPECT_FALSE(empty_text.IsNull());
  EXPECT_FALSE(empty_text.GetBuffer(out, 8));
  EXPECT_EQ(empty_text.TextLength(), 0);
}

TEST(TABSVariantTest, ConvertToKeepsNullAndAppendsAZeroToMemo) {
  TABSVariant null_value(bdtInteger);
  null_value.ConvertTo(bdtString);
  EXPECT_TRUE(null_value.IsNull());
  EXPECT_EQ(null_value.Type(), bdtString);
  TABSVariant memo = Memo("abc");
  memo.ConvertTo(bdtString);
  EXPECT_EQ(memo.Size(), 4);
  EXPECT_EQ(Show(memo), "STRING:abc");
  TABSVariant same = Int(5);
  same.ConvertTo(bdtInteger);
  EXPECT_EQ(Show(same), "INTEGER:5");
}

TEST(TABSVariantTest, ClearAndSetNull) {
  TABSVariant v = Int(5);
  v.SetNull();
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.Type(), bdtInteger);
  v.Clear(bdtFloat);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.Type(), bdtFloat);
  EXPECT_EQ(v.Size(), 0);
  EXPECT_FALSE(v.Borrowed());
}

std::string Saved(const TABSVariant& value) {
  TMemoryStream stream;
  value.SaveToStream(stream);
  return Hex(stream.Memory(), static_cast<int32_t>(stream.Size()));
}

TEST(TABSVariantStreamTest, StoredForm) {
  EXPECT_EQ(Saved(TABSVariant()), "00FF");
  EXPECT_EQ(Saved(TABSVariant(bdtInteger)), "07FF");
  EXPECT_EQ(Saved(Int(0x01020304)), "07000400000004030201");
  EXPECT_EQ(Saved(Str("ab")),
            "0300030000006162"
            "00");
}

TEST(TABSVariantStreamTest, SaveThenLoadGivesEqualValues) {
  for (const TABSVariant& value :
       {Int(-7), Str("text"), Wide(u"wide"), Ext(2.5), DT(738919, 1), Logical(-1), Memo(""),
        Memo("memo"), TABSVariant(bdtDate), Bytes(bdtBlob, std::string(300, 'b'))}) {
    TMemoryStream stream;
    value.SaveToStream(stream);
    stream.SetPosition(0);
    TABSVariant loaded = Int(99);
    loaded.LoadFromStream(stream);
    EXPECT_EQ(Show(loaded), Show(value));
    EXPECT_EQ(loaded.Type(), value.Type());
    EXPECT_EQ(stream.Position(), stream.Size());
  }
}

TEST(TABSVariantStreamTest, AStreamCutAnywhereFailsWithTheItemsCode) {
  TMemoryStream full;
  Str("abc").SaveToStream(full);
  const int32_t expected_codes[] = {10183, 10184, 10185, 10185, 10185,
                                    10185, 10186, 10186, 10186, 10186};
  for (int64_t cut = 0; cut < full.Size(); ++cut) {
    TMemoryStream stream;
    stream.WriteBuffer(full.Memory(), static_cast<size_t>(cut));
    stream.SetPosition(0);
    TABSVariant loaded;
    try {
      loaded.LoadFromStream(stream);
      ADD_FAILURE() << "loaded from " << cut << " bytes";
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeError(), expected_codes[cut]) << cut;
    }
    EXPECT_TRUE(loaded.IsNull());
  }
}

TEST(TABSVariantStreamTest, ShortReadMessageGivesPositionSizeAndCounts) {
  TMemoryStream stream;
  const uint8_t bytes[] = {7, 0, 4, 0, 0, 0, 1, 2};
  stream.WriteBuffer(bytes, sizeof bytes);
  stream.SetPosition(0);
  TABSVariant loaded;
  ExpectEngineError([&] { loaded.LoadFromStream(stream); }, 10186,
                    "Cannot read from stream. Position = 6, Stream size = 8, Block size = 4, "
                    "Bytes Read = 2 - Native error: 10186");
}

TEST(TABSVariantStreamTest, ImpossibleStoredValuesAreRefusedBeforeAllocating) {
  struct BadValue {
    std::vector<uint8_t> bytes;
    int32_t code;
  };
  const BadValue bad_values[] = {
      {{99, 255}, 10183},                              // unknown type
      {{0, 0, 1, 0, 0, 0, 5}, 10183},                  // a value without a type
      {{7, 0, 3, 0, 0, 0, 1, 2, 3}, 10185},            // INTEGER of 3 bytes
      {{3, 0, 0, 0, 0, 0}, 10185},                     // text without its zero
      {{4, 0, 3, 0, 0, 0, 'a', 0, 0}, 10185},          // odd-sized wide text
      {{18, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 10185},        // negative size
      {{18, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}, 10186},  // 2 GB announced, 2 bytes there
  };
  for (const BadValue& bad : bad_values) {
    TMemoryStream stream;
    stream.WriteBuffer(bad.bytes.data(), bad.bytes.size());
    stream.SetPosition(0);
    TABSVariant loaded;
    try {
      loaded.LoadFromStream(stream);
      ADD_FAILURE() << "loaded";
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeError(), bad.code) << error.Message();
    }
  }
}

TEST(TABSVariantStreamTest, WriteCodesComeFromTheCaller) {
  class FullStream : public TMemoryStream {
   public:
    size_t Write(const void* buffer, size_t count) override {
      return Size() + static_cast<int64_t>(count) > 3 ? 0 : TMemoryStream::Write(buffer, count);
    }
  };
  FullStream stream;
  ExpectEngineError(
      [&] {
        Int(1).SaveToStream(stream, {1, 2, 3, 4});
      },
      3,
      "Cannot write to stream. Position = 2, Stream size = 2, Block size = 4, "
      "Bytes Write = 0 - Native error:     3");
}

struct FromVariantCase {
  Variant variant;
  BaseDataType own_type;
  std::string expected;
};

class FromVariantCases : public ::testing::TestWithParam<FromVariantCase> {};

TEST_P(FromVariantCases, GoesThroughTheMatchingSetter) {
  const FromVariantCase& c = GetParam();
  TABSVariant value(c.own_type);
  if (c.own_type != bdtUnknown) value.SetAsInteger(1);
  value.FromFrameworkVariant(c.variant);
  EXPECT_EQ(Show(value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FromVariantCases,
    ::testing::Values(FromVariantCase{Variant(), bdtInteger, "INTEGER:NULL"},
                      FromVariantCase{Variant::Null(), bdtUnknown, "Unknown:NULL"},
                      FromVariantCase{Variant::FromSmallint(-3), bdtUnknown, "SMALLINT:-3"},
                      FromVariantCase{Variant::FromInteger(7), bdtUnknown, "INTEGER:7"},
                      FromVariantCase{Variant::FromSingle(0.5f), bdtUnknown, "SINGLE:0.5"},
                      FromVariantCase{Variant::FromDouble(2.5), bdtUnknown, "FLOAT:2.5"},
                      FromVariantCase{Variant::FromCurrency(1.25), bdtUnknown, "CURRENCY:1.25"},
                      FromVariantCase{Variant::FromDate(45325.75), bdtUnknown,
                                      "DATETIME:738919,64800000"},
                      FromVariantCase{Variant::FromOleStr(u"w"), bdtUnknown, "WIDESTRING:w"},
                      FromVariantCase{Variant::FromBoolean(true), bdtUnknown, "LOGICAL:-1"},
                      FromVariantCase{Variant::FromShortInt(-8), bdtUnknown, "SHORTINT:-8"},
                      FromVariantCase{Variant::FromByte(8), bdtUnknown, "BYTE:8"},
                      FromVariantCase{Variant::FromWord(8), bdtUnknown, "WORD:8"},
                      FromVariantCase{Variant::FromLongWord(8), bdtUnknown, "CARDINAL:8"},
                      FromVariantCase{Variant::FromInt64(-8), bdtUnknown, "LARGEINT:-8"},
                      FromVariantCase{Variant::FromString("s"), bdtUnknown, "STRING:s"},
                      FromVariantCase{Variant::FromDouble(2.5), bdtInteger, "INTEGER:2"},
                      FromVariantCase{Variant::FromString("12"), bdtSmallInt, "SMALLINT:12"}));

TEST(FrameworkVariantTest, UnsupportedKindIsRefusedWithItsNumber) {
  TABSVariant value;
  ExpectEngineError([&] { value.FromFrameworkVariant(Variant::FromBytes({1})); }, 30113,
                    "Unsupported Variant Type 8209 - Native error: 30113");
}

TEST(FrameworkVariantTest, ToFrameworkVariantByType) {
  EXPECT_EQ(TABSVariant(bdtInteger).ToFrameworkVariant(), Variant::Null());
  EXPECT_EQ(Str("s").ToFrameworkVariant(), Variant::FromString("s"));
  EXPECT_EQ(Text(bdtChar, "c").ToFrameworkVariant(), Variant::FromString("c"));
  EXPECT_EQ(WideText(bdtWideChar, u"w").ToFrameworkVariant(), Variant::FromOleStr(u"w"));
  EXPECT_EQ(Short(-1).ToFrameworkVariant(), Variant::FromShortInt(-1));
  EXPECT_EQ(Small(-1).ToFrameworkVariant(), Variant::FromSmallint(-1));
  EXPECT_EQ(Int(-1).ToFrameworkVariant(), Variant::FromInteger(-1));
  EXPECT_EQ(Byte(1).ToFrameworkVariant(), Variant::FromByte(1));
  EXPECT_EQ(Word(1).ToFrameworkVariant(), Variant::FromWord(1));
  EXPECT_EQ(Card(1).ToFrameworkVariant(), Variant::FromLongWord(1));
  EXPECT_EQ(Large(-1).ToFrameworkVariant(), Variant::FromInt64(-1));
  EXPECT_EQ(Single(0.5f).ToFrameworkVariant(), Variant::FromDouble(0.5));
  EXPECT_EQ(Ext(0.5).ToFrameworkVariant(), Variant::FromDouble(0.5));
  EXPECT_EQ(Curr(0.5).ToFrameworkVariant(), Variant::FromDouble(0.5));
  EXPECT_EQ(Date(693595).ToFrameworkVariant(), Variant::FromDate(1.0));
  EXPECT_EQ(Time(43200000).ToFrameworkVariant(), Variant::FromDate(0.5));
  EXPECT_EQ(DT(693595, 43200000).ToFrameworkVariant(), Variant::FromDate(1.5));
  EXPECT_EQ(Logical(2).ToFrameworkVariant(), Variant::FromBoolean(true));
  EXPECT_EQ(Bytes(bdtBlob, "ab").ToFrameworkVariant(), Variant::FromString("ab"));
  ExpectEngineError([] { Memo("m").ToFrameworkVariant(); }, 30114,
                    "Unsupported Variant Type MEMO - Native error: 30114");
  ExpectEngineError([] { WideMemo(u"m").ToFrameworkVariant(); }, 30114,
                    "Unsupported Variant Type WIDEMEMO - Native error: 30114");
  ExpectEngineError([] { Bytes(bdtBytes, "m").ToFrameworkVariant(); }, 30114,
                    "Unsupported Variant Type BYTES - Native error: 30114");
  ExpectEngineError([] { Bytes(bdtVarBytes, "m").ToFrameworkVariant(); }, 30114,
                    "Unsupported Variant Type VARBYTES - Native error: 30114");
}

TEST(TABSValueBufferTest, GrowsOutOfTheInlineStorageAndReusesIt) {
  TABSValueBuffer buffer;
  const uint8_t* inline_storage = buffer.Data();
  buffer.Resize(TABSValueBuffer::kInlineCapacity);
  EXPECT_EQ(buffer.Data(), inline_storage);
  uint8_t* heap = buffer.Resize(1000);
  EXPECT_NE(heap, inline_storage);
  EXPECT_EQ(buffer.Resize(10), heap);  // large enough: reused
  EXPECT_EQ(buffer.Size(), 10);
  buffer.Release();
  EXPECT_EQ(buffer.Data(), inline_storage);
  EXPECT_EQ(buffer.Size(), 0);
}

TEST(TABSValueBufferTest, CopiesAndMovesKeepTheBytes) {
  for (int32_t size : {5, 500}) {
    TABSValueBuffer source;
    std::memset(source.Resize(size), 'x', static_cast<size_t>(size));
    const TABSValueBuffer copy = source;
    TABSValueBuffer moved = std::move(source);
    TABSValueBuffer assigned;
    assigned.Resize(700);
    assigned = std::move(moved);
    EXPECT_EQ(copy.Size(), size);
    EXPECT_EQ(assigned.Size(), size);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(assigned.Data()), size),
              std::string(static_cast<size_t>(size), 'x'));
    EXPECT_EQ(std::memcmp(copy.Data(), assigned.Data(), static_cast<size_t>(size)), 0);
  }
}

TEST(TABSVariantTest, LongConvertedValuesMoveIntoTheValue) {
  TABSVariant memo = Memo(std::string(500, 'm'));
  memo.ConvertTo(bdtWideString);
  EXPECT_EQ(memo.Size(), 1002);
  EXPECT_EQ(memo.GetAsWideString(), std::u16string(500, u'm'));
}

}  // namespace
}  // namespace tabshift
