#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "engine/core/EngineErrorMatchers.h"
#include "engine/core/MemoryTableFixture.h"

namespace tabshift::testing {
namespace {

TEST(RecordLayout, NullBitmapTakesOneByteForEveryEightFields) {
  for (const int field_count : {8, 9}) {
    TABSFieldDefs fields;
    for (int i = 0; i < field_count; ++i) {
      std::string name = "F";
      name += static_cast<char>('A' + i);
      AddField(fields, name, adtInteger);
    }
    MemoryTable table("Layout", fields);
    const TABSFieldDef& first = table.Fields().FieldDefs().Item(0);
    EXPECT_EQ(first.BufferOffset, field_count == 8 ? 1 : 2);
    EXPECT_EQ(first.StoredOffset, first.BufferOffset);
    EXPECT_EQ(table.cursor.first_field_offset, first.BufferOffset);
  }
}

TEST(RecordLayout, BlobSlotIsTenBytesInABufferAndSixInAStoredRecord) {
  TABSFieldDefs fields;
  AddField(fields, "I", adtInteger);
  AddField(fields, "S", adtString, 40);
  AddField(fields, "B", adtBlob);
  MemoryTable table("Layout", fields);
  const TABSFieldDefs& laid_out = table.Fields().FieldDefs();
  EXPECT_EQ(laid_out.Item(1).BufferOffset, 5);
  EXPECT_EQ(laid_out.Item(2).BufferOffset, 46);
  EXPECT_EQ(laid_out.Item(2).StoredOffset, 46);
  EXPECT_EQ(table.Fields().RecordBufferSize(), 56);
  EXPECT_EQ(table.Fields().StoredRecordSize(), 52);
  EXPECT_EQ(table.cursor.record_buffer_size, 56);

  TABSFieldDefs pair;
  AddField(pair, "S", adtString, 20);
  AddField(pair, "B", adtBlob);
  MemoryTable second("Pair", pair);
  EXPECT_EQ(second.Fields().RecordBufferSize(), 32);
  EXPECT_EQ(second.Fields().StoredRecordSize(), 28);
}

TEST(RecordLayout, ConversionBetweenLayoutsKeepsValuesAndTheBlobReference) {
  TABSFieldDefs fields;
  AddField(fields, "S", adtString, 20);
  AddField(fields, "B", adtBlob);
  AddField(fields, "I", adtInteger);
  MemoryTable table("Convert", fields);
  table.NewRecord();
  table.SetText(0, "abc");
  table.SetInt(2, 77);
  uint8_t* blob_slot = table.buffer.data() + table.Fields().FieldDefs().Item(1).BufferOffset;
  for (int i = 0; i < 10; ++i) blob_slot[i] = static_cast<uint8_t>(i + 1);
  std::vector<uint8_t> stored(static_cast<size_t>(table.Fields().StoredRecordSize()));
  table.Fields().BufferToStored(table.buffer.data(), stored.data());
  std::vector<uint8_t> back(table.buffer.size());
  table.Fields().StoredToBuffer(stored.data(), back.data());
  EXPECT_EQ(
      std::memcmp(back.data() + table.Fields().FieldDefs().Item(1).BufferOffset, blob_slot, 6), 0);
  EXPECT_EQ(back[table.Fields().FieldDefs().Item(1).BufferOffset + 6], 0);
  back[table.Fields().FieldDefs().Item(1).BufferOffset + 6] = blob_slot[6];
  for (int i = 7; i < 10; ++i)
    back[table.Fields().FieldDefs().Item(1).BufferOffset + i] = blob_slot[i];
  EXPECT_TRUE(table.Fields().CompareRecords(back.data(), table.buffer.data()));
}

TEST(FieldData, EmptyStringIsStoredAsNull) {
  TABSFieldDefs fields;
  AddField(fields, "S", adtString, 20);
  AddField(fields, "W", adtWideString, 5);
  MemoryTable table("Texts", fields);
  table.NewRecord();
  table.SetText(0, "");
  const char16_t empty_wide[] = u"";
  table.Fields().SetFieldData(1, empty_wide, table.buffer.data());
  EXPECT_FALSE(table.Fields().GetFieldData(0, nullptr, table.buffer.data()));
  EXPECT_FALSE(table.Fields().GetFieldData(1, nullptr, table.buffer.data()));
  table.SetText(0, "x");
  char text[21] = {};
  EXPECT_TRUE(table.Fields().GetFieldData(0, text, table.buffer.data()));
  EXPECT_STREQ(text, "x");
}

TEST(FieldData, WideTextKeepsEveryCharacterUpToItsRoom) {
  TABSFieldDefs fields;
  AddField(fields, "W", adtWideString, 5);
  MemoryTable table("WideTexts", fields);
  table.NewRecord();
  struct Case {
    std::u16string given;
    std::u16string stored;
  };
  // U+0100 starts with a zero byte; text beyond five characters is cut at the field's room.
  for (const Case& c : {Case{u"ab", u"ab"}, Case{u"\u0100z", u"\u0100z"},
                        Case{u"abcdefg", u"abcde"}}) {
    table.Fields().SetFieldData(0, c.given.c_str(), table.buffer.data());
    char16_t back[6] = {};
    ASSERT_TRUE(table.Fields().GetFieldData(0, back, table.buffer.data()));
    EXPECT_EQ(std::u16string(back), c.stored);
  }
}

TEST(FieldData, ExchangeFormatsWidenNarrowTypes) {
  TABSFieldDefs fields;
  AddField(fields, "SI", adtShortInt);
  AddField(fields, "C", adtCardinal);
  AddField(fields, "SG", adtSingle);
  AddField(fields, "E", adtExtended);
  MemoryTable table("Exchange", fields);
  table.NewRecord();
  const int16_t short_in = -5;
  const uint64_t cardinal_in = 4294967295u;
  const double single_in = 1.5;
  const double extended_in = -1234.125;
  table.Fields().SetFieldData(0, &short_in, table.buffer.data());
  table.Fields().SetFieldData(1, &cardinal_in, table.buffer.data());
  table.Fields().SetFieldData(2, &single_in, table.buffer.data());
  table.Fields().SetFieldData(3, &extended_in, table.buffer.data());
  int16_t short_out = 0;
  uint64_t cardinal_out = 0;
  double single_out = 0;
  double extended_out = 0;
  ASSERT_TRUE(table.Fields().GetFieldData(0, &short_out, table.buffer.data()));
  ASSERT_TRUE(table.Fields().GetFieldData(1, &cardinal_out, table.buffer.data()));
  ASSERT_TRUE(table.Fields().GetFieldData(2, &single_out, table.buffer.data()));
  ASSERT_TRUE(table.Fields().GetFieldData(3, &extended_out, table.buffer.data()));
  EXPECT_EQ(short_out, -5);
  EXPECT_EQ(cardinal_out, 4294967295u);
  EXPECT_EQ(single_out, 1.5);
  EXPECT_EQ(extended_out, -1234.125);
}

TEST(FieldData, FieldNumberOutsideTheFieldsFails) {
  TABSFieldDefs fields;
  AddField(fields, "I", adtInteger);
  MemoryTable table("Numbers", fields);
  table.NewRecord();
  EXPECT_ENGINE_TEXT(table.Fields().GetFieldData(1, nullptr, table.buffer.data()), 10000,
                     "Invalid field number - FieldNo = 1, FieldCount = 1");
  EXPECT_ENGINE_TEXT(table.Fields().SetFieldData(-1, nullptr, table.buffer.data()), 10004,
                     "Invalid field number - FieldNo = -1, FieldCount = 1");
}

TEST(FieldData, DefaultValuesFillNewRecords) {
  TABSFieldDefs fields;
  AddField(fields, "I", adtInteger).DefaultValue.SetAsInteger(42);
  AddField(fields, "S", adtString, 10).DefaultValue.SetAsString("none");
  AddField(fields, "N", adtInteger);
  MemoryTable table("Defaults", fields);
  table.NewRecord();
  EXPECT_EQ(table.GetInt(0), 42);
  char text[11] = {};
  ASSERT_TRUE(table.Fields().GetFieldData(1, text, table.buffer.data()));
  EXPECT_STREQ(text, "none");
  EXPECT_FALSE(table.Fields().GetFieldData(2, nullptr, table.buffer.data()));
}

struct AutoincCase {
  int64_t increment;
  int64_t initial;
  int64_t minimum;
  int64_t maximum;
  bool cycled;
  std::vector<int64_t> expected;  // INT64_MIN: fails with 20160
};

class AutoincSequence : public ::testing::TestWithParam<AutoincCase> {};

TEST_P(AutoincSequence, GivesTheValuesOfItsDefinition) {
  const AutoincCase& c = GetParam();
  TABSFieldDefs fields;
  TABSFieldDef& id = AddField(fields, "ID", adtAutoIncLargeInt);
  id.AutoincIncrement = c.increment;
  id.AutoincInitialValue = c.initial;
  id.AutoincMinValue = c.minimum;
  id.AutoincMaxValue = c.maximum;
  id.AutoincCycled = c.cycled;
  MemoryTable table("Seq", fields);
  for (const int64_t expected : c.expected) {
    if (expected == INT64_MIN) {
      EXPECT_ENGINE_TEXT(table.Fields().NextAutoincValue(0), 20160,
                         "Autoinc max value exceeded for field 'ID'");
    } else {
      EXPECT_EQ(table.Fields().NextAutoincValue(0), expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutoincSequence,
    ::testing::Values(AutoincCase{0, 0, 0, std::numeric_limits<int64_t>::max(), false, {1, 2, 3}},
                      AutoincCase{1, 0, 0, 3, false, {1, 2, 3, INT64_MIN}},
                      AutoincCase{1, 0, 1, 3, true, {1, 2, 3, 1, 2}},
                      AutoincCase{5, 10, 0, 0, false, {15, 20}},
                      AutoincCase{1,
                                  std::numeric_limits<int64_t>::max() - 1,
                                  7,
                                  std::numeric_limits<int64_t>::max(),
                                  true,
                                  {std::numeric_limits<int64_t>::max(), 7}}));

TEST(Autoinc, GivenValueAboveTheCounterRaisesIt) {
  TABSFieldDefs fields;
  AddField(fields, "ID", adtAutoIncInteger);
  MemoryTable table("Given", fields);
  for (int i = 0; i < 5; ++i) {
    table.NewRecord();
    table.Post();
  }
  table.NewRecord();
  table.SetInt(0, 100);
  table.Post();
  EXPECT_EQ(table.GetInt(0), 100);
  table.NewRecord();
  table.Post();
  EXPECT_EQ(table.GetInt(0), 101);
  EXPECT_EQ(table.table->GetLastAutoincValue(0, 0), 101);
}

TEST(Autoinc, SessionValueIsDemandedOnlyWhenAsked) {
  TABSFieldDefs fields;
  AddField(fields, "ID", adtAutoIncInteger);
  AddField(fields, "I", adtInteger);
  MemoryTable table("Sessions", fields);
  EXPECT_ENGINE_TEXT(table.Fields().SessionAutoincValue(3, 0, true), 30012,
                     "No SequenceLastValue in session for sequence 'ID'. Call GetNextVal first");
  EXPECT_EQ(table.Fields().SessionAutoincValue(3, 0), 0);
  EXPECT_EQ(table.Fields().SessionAutoincValue(3, 1), 0);
  EXPECT_ENGINE_TEXT(table.Fields().NextAutoincValue(2), 30402, "Field #2 not found");
}

}  // namespace
}  // namespace tabshift::testing
