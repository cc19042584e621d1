#include "engine/access/ABSMainFieldExchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/EngineErrorMatchers.h"

namespace tabshift {
namespace {

// Field definitions cannot be copied: each one lives in the list for the test.
const TABSFieldDef& EngineField(AdvancedDataType type, int32_t size = 0) {
  static TABSFieldDefs fields;
  TABSFieldDef& field = fields.AddNewItem();
  field.Name = std::to_string(fields.Count());
  field.SetDataType(type, size);
  return field;
}

template <typename Native, typename Engine>
void ExpectRoundTrip(TFieldType type, AdvancedDataType engine_type, Native native, Engine engine) {
  const TABSFieldDef& field = EngineField(engine_type);
  const TABSFieldExchange exchange = MakeFieldExchange(type, 0, field);
  std::vector<uint8_t> engine_bytes(static_cast<size_t>(exchange.EngineSize), 0xAA);
  NativeToEngine(exchange, reinterpret_cast<const uint8_t*>(&native), engine_bytes.data());
  Engine stored{};
  std::memcpy(&stored, engine_bytes.data(), sizeof stored);
  EXPECT_EQ(stored, engine) << "field type " << int{type};
  Native back{};
  EngineToNative(exchange, engine_bytes.data(), reinterpret_cast<uint8_t*>(&back));
  EXPECT_EQ(back, native) << "field type " << int{type};
}

TEST(FieldExchange, IntegersOfOtherWidthsAndDatesAreConverted) {
  ExpectRoundTrip<uint16_t, uint8_t>(ftWord, adtByte, 200, 200);
  ExpectRoundTrip<int32_t, int16_t>(ftAutoInc, adtAutoIncSmallInt, -300, -300);
  ExpectRoundTrip<int32_t, uint32_t>(ftAutoInc, adtAutoIncCardinal, 7, 7);
  ExpectRoundTrip<int64_t, uint64_t>(ftLargeint, adtCardinal, 4000000000, 4000000000u);
  ExpectRoundTrip<double, int32_t>(ftDate, adtDate, 0.0, 693594);
  ExpectRoundTrip<double, int32_t>(ftTime, adtTime, 0.5, 43200000);
  ExpectRoundTrip<double, int64_t>(ftDateTime, adtDateTime, 1.5,
                                   int64_t{693595} | (int64_t{43200000} << 32));
}

TEST(FieldExchange, SameFormsAreCopied) {
  EXPECT_EQ(MakeFieldExchange(ftInteger, 0, EngineField(adtInteger)).Kind, TABSExchangeKind::Copy);
  EXPECT_EQ(MakeFieldExchange(ftSmallint, 0, EngineField(adtShortInt)).Kind,
            TABSExchangeKind::Copy);
  EXPECT_EQ(MakeFieldExchange(ftFloat, 0, EngineField(adtSingle)).Kind, TABSExchangeKind::Copy);
  EXPECT_EQ(MakeFieldExchange(ftString, 40, EngineField(adtString, 40)).Kind,
            TABSExchangeKind::Copy);
  EXPECT_EQ(MakeFieldExchange(ftWideString, 4, EngineField(adtWideChar, 4)).Kind,
            TABSExchangeKind::WideText);
  EXPECT_EQ(MakeFieldExchange(ftBlob, 0, EngineField(adtBlob)).Kind, TABSExchangeKind::Blob);
}

TEST(FieldExchange, ValuesOutsideTheEngineTypeAreRefused) {
  const TABSFieldExchange exchange = MakeFieldExchange(ftWord, 0, EngineField(adtByte));
  const uint16_t value = 256;
  uint8_t engine = 0;
  EXPECT_ENGINE_ERROR(NativeToEngine(exchange, reinterpret_cast<const uint8_t*>(&value), &engine),
                      30051, "Cannot cast from 'LARGEINT' to 'BYTE' - Native error: 30051");
  const TABSFieldExchange date = MakeFieldExchange(ftDate, 0, EngineField(adtDate));
  const double far_away = 1e300;
  int32_t day = 0;
  EXPECT_ENGINE_CODE(NativeToEngine(date, reinterpret_cast<const uint8_t*>(&far_away),
                                    reinterpret_cast<uint8_t*>(&day)),
                     30051);
}

TEST(FieldExchange, BytesKeepTheirSizeAndTextIsCutToTheField) {
  const TABSFieldExchange bytes = MakeFieldExchange(ftBytes, 4, EngineField(adtBytes, 4));
  const uint8_t native[4] = {1, 2, 3, 4};
  uint8_t engine[5] = {9, 9, 9, 9, 9};
  NativeToEngine(bytes, native, engine);
  EXPECT_EQ(std::vector<uint8_t>(engine, engine + 5), (std::vector<uint8_t>{1, 2, 3, 4, 0}));

  const TABSFieldExchange text = MakeFieldExchange(ftString, 10, EngineField(adtString, 4));
  const char longer[11] = "abcdefghij";
  char stored[5] = {};
  NativeToEngine(text, reinterpret_cast<const uint8_t*>(longer),
                 reinterpret_cast<uint8_t*>(stored));
  EXPECT_STREQ(stored, "abcd");
}

}  // namespace
}  // namespace tabshift
