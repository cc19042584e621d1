#include <gtest/gtest.h>

#include "MetaLayout.h"
#include "engine/access/ABSBaseIndexDefs.h"

namespace tabshift {
namespace {

using namespace testing_meta;

std::unique_ptr<TABSIndexDef> TwoColumnIndex() {
  auto index = std::make_unique<TABSIndexDef>();
  index->Name = "IDX";
  index->ObjectID = 7;
  index->Unique = true;
  index->RootPageNo = 12;
  index->Columns = {{"A", true, false, 20}, {"b", false, true, 8}};
  return index;
}

// count, then name, ObjectID, kind, unique, primary, column count, root page, then per column
// name, descending, case-insensitive and indexed size.
StoredLayout TwoColumnIndexLayout() {
  StoredLayout layout;
  layout.Add(10343, 10159, I32(1))
      .Name(10164, 10165, 10166, 10167, "IDX")
      .Add(10168, 10169, I32(7))
      .Add(10344, 10349, U8(0))
      .Add(10345, 10350, U8(255))
      .Add(10346, 10351, U8(0))
      .Add(10347, 10352, I32(2))
      .Add(10348, 10353, I32(12))
      .Name(10354, 10355, 10358, 10359, "A")
      .Add(10356, 10360, U8(255))
      .Add(10357, 10361, U8(0))
      .Add(20169, 20168, I32(20))
      .Name(10354, 10355, 10358, 10359, "b")
      .Add(10356, 10360, U8(0))
      .Add(10357, 10361, U8(255))
      .Add(20169, 20168, I32(8))
      .EndObject();
  return layout;
}

TEST(TABSIndexDefsStoredForm, TwoColumnIndexMatchesItsBytes) {
  TABSIndexDefs list;
  list.Add(TwoColumnIndex());
  const Bytes expected = {1, 0, 0, 0, 3,   'I', 'D', 'X', 7, 0, 0, 0, 0,   255, 0,   2, 0, 0, 0, 12,
                          0, 0, 0, 1, 'A', 255, 0,   20,  0, 0, 0, 1, 'b', 0,   255, 8, 0, 0, 0};
  EXPECT_EQ(TwoColumnIndexLayout().All(), expected);
  const auto loaded = ExpectStoredForm(list, TwoColumnIndexLayout());
  EXPECT_TRUE(loaded->Equals(list));
  EXPECT_EQ(loaded->GetItem(0).Columns, list.GetItem(0).Columns);
}

TEST(TABSIndexDefsStoredForm, TemporaryIndexIsLeftOutOfCountAndData) {
  TABSIndexDefs list;
  auto temporary = std::make_unique<TABSIndexDef>();
  temporary->Name = "SESSIONIDX";
  temporary->Temporary = true;
  temporary->Columns = {{"A", false, false, 20}};
  list.Add(std::move(temporary));
  list.Add(TwoColumnIndex());
  const auto loaded = ExpectStoredForm(list, TwoColumnIndexLayout());
  ASSERT_EQ(loaded->Count(), 1);
  EXPECT_TRUE(loaded->GetItem(0).Equals(list.GetItem(1)));
}

TEST(TABSIndexDefsStoredForm, ReadIndexIsNeverTemporaryAndKeepsMemoryMembersDefault) {
  TABSIndexDefs list;
  list.Add(TwoColumnIndex());
  TMemoryStream stream;
  list.SaveToStream(stream);
  stream.SetPosition(0);
  TABSIndexDef& read = list.GetItem(0);
  read.Temporary = true;
  list.LoadFromStream(stream);
  EXPECT_FALSE(list.GetItem(0).Temporary);
  EXPECT_EQ(list.GetItem(0).OwnerSessionID, -1);
  EXPECT_EQ(list.GetItem(0).VersionStamp, 0);
}

TEST(TABSIndexDefsStoredForm, ShortReadMessageGivesPositionSizeBlockAndBytesRead) {
  TMemoryStream stream = StreamOf({1, 0, 0, 0, 3, 'I', 'D'});
  TABSIndexDefs list;
  try {
    list.LoadFromStream(stream);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), 10167);
    EXPECT_EQ(error.Message(),
              "Cannot read from stream. Position = 5, Stream size = 7, Block size = 3, Bytes "
              "Read = 2 - Native error: 10167");
  }
}

TEST(TABSIndexDefsStoredForm, ShortWriteMessageGivesPositionSizeBlockAndBytesWritten) {
  TABSIndexDefs list;
  list.Add(TwoColumnIndex());
  LimitedStream stream(6);
  try {
    list.SaveToStream(stream);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "Cannot write to stream. Position = 5, Stream size = 5, Block size = 3, Bytes "
              "Write = 1 - Native error: 10165");
  }
}

struct CorruptIndexCase {
  const char* what;
  Bytes bytes;
  int32_t code;
};

class CorruptIndexList : public ::testing::TestWithParam<CorruptIndexCase> {};

TEST_P(CorruptIndexList, FailsWithTheItemCode) {
  TMemoryStream stream = StreamOf(GetParam().bytes);
  TABSIndexDefs list;
  EXPECT_EQ(NativeCodeOf([&] { list.LoadFromStream(stream); }), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptIndexList,
    ::testing::Values(
        CorruptIndexCase{"negative count", {0xFF, 0xFF, 0xFF, 0xFF}, 10159},
        CorruptIndexCase{"huge count", {0xFF, 0xFF, 0xFF, 0x7F, 0}, 10169},
        CorruptIndexCase{"name longer than the stream", {1, 0, 0, 0, 200, 'A'}, 10167},
        CorruptIndexCase{"negative column count",
                         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF},
                         10352},
        CorruptIndexCase{"huge column count",
                         {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0},
                         10358}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(TABSIndexDefTest, AssignCopiesDeeplyWithMemoryMembers) {
  auto source = TwoColumnIndex();
  source->Temporary = true;
  source->OwnerSessionID = 3;
  source->VersionStamp = 9;
  TABSIndexDef copy;
  copy.Assign(*source);
  source->Columns[0].ColumnName = "changed";
  EXPECT_EQ(copy.Columns[0].ColumnName, "A");
  EXPECT_TRUE(copy.Temporary);
  EXPECT_EQ(copy.OwnerSessionID, 3);
  EXPECT_EQ(copy.VersionStamp, 9);
}

TEST(TABSIndexDefTest, ResizingColumnsWorksAtTheEnd) {
  auto index = TwoColumnIndex();
  index->SetColumnCount(3);
  EXPECT_EQ(index->Columns[1].ColumnName, "b");
  EXPECT_EQ(index->Columns[2], TABSIndexColumn{});
  EXPECT_EQ(index->Columns[2].MaxIndexedSize, 20);
  index->SetColumnCount(1);
  ASSERT_EQ(index->ColumnCount(), 1);
  EXPECT_EQ(index->Columns[0].ColumnName, "A");
}

TEST(TABSIndexDefsTest, SetItemReplacesAndRefusesPositionsOutsideTheList) {
  TABSIndexDefs list;
  list.Add(TwoColumnIndex());
  auto other = std::make_unique<TABSIndexDef>();
  other->Name = "OTHER";
  list.SetItem(0, std::move(other));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetItem(0).Name, "OTHER");
  EXPECT_THROW(list.SetItem(1, std::make_unique<TABSIndexDef>()), EListError);
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
}  // namespace tabshift
