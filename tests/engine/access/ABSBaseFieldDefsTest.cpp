#include <gtest/gtest.h>

#include "MetaLayout.h"
#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/access/ABSBaseFieldDefs.h"
#include "engine/access/ABSBaseIndexDefs.h"

namespace tabshift {
namespace {

using namespace testing_meta;

std::unique_ptr<TABSFieldDef> Field(const std::string& name, int32_t object_id,
                                    AdvancedDataType type, int32_t size = 0) {
  auto field = std::make_unique<TABSFieldDef>();
  field->Name = name;
  field->ObjectID = object_id;
  field->SetDataType(type, size);
  return field;
}

// Name, ObjectID, base, advanced and declared size.
StoredLayout FieldHead(const std::string& name, int32_t object_id, uint8_t base, uint8_t advanced,
                       int32_t size) {
  StoredLayout layout;
  layout.Name(10164, 10165, 10166, 10167, name)
      .Add(10168, 10169, I32(object_id))
      .Add(10170, 10187, U8(base))
      .Add(10171, 10188, U8(advanced))
      .Add(10172, 10189, I32(size));
  return layout;
}

// The sequence with its defaults: increment 1, initial 0, minimum 0, the largest maximum, not
// cycled.
StoredLayout DefaultSequence() {
  StoredLayout layout;
  layout.Add(30412, 30407, I64(1))
      .Add(30413, 30408, I64(0))
      .Add(30414, 30409, I64(0))
      .Add(30415, 30410, I64(INT64_MAX))
      .Add(30416, 30411, U8(0));
  return layout;
}

StoredLayout NullValue(uint8_t type) {
  StoredLayout layout;
  layout.Add(10179, 10183, U8(type)).Add(10180, 10184, U8(255));
  return layout;
}

TEST(TABSFieldDefsStoredForm, FieldWithDefaultSettings) {
  TABSFieldDefs list;
  list.Add(Field("ID", 1, adtInteger));
  StoredLayout layout;
  layout.Add(10158, 10159, I32(1))
      .Append(FieldHead("ID", 1, 7, 7, 0))
      .Append(DefaultSequence())
      .Append(NullValue(0))
      .EndObject();
  const Bytes field = {2, 'I', 'D', 1, 0, 0,   0,   7,   7,   0,   0,   0,   0,    1, 0, 0,
                       0, 0,   0,   0, 0, 0,   0,   0,   0,   0,   0,   0,   0,    0, 0, 0,
                       0, 0,   0,   0, 0, 255, 255, 255, 255, 255, 255, 255, 0x7F, 0, 0, 255};
  const Bytes all = layout.All();
  EXPECT_EQ(Bytes(all.begin() + 4, all.end()), field);
  const auto loaded = ExpectStoredForm(list, layout);
  EXPECT_TRUE(loaded->Equals(list));
  EXPECT_EQ(loaded->Item(0).BufferSize, 4);
}

TEST(TABSFieldDefsStoredForm, BlobFieldWithCompressionAndStringWithDefault) {
  TABSFieldDefs list;
  auto blob = Field("DATA", 2, adtMemo);
  blob->BlobCompressionAlgorithm = 1;
  blob->BlobCompressionMode = 6;
  blob->BlobBlockSize = 65536;
  list.Add(std::move(blob));
  auto text = Field("NAME", 3, adtString, 10);
  text->DefaultValue.SetAsString("abc");
  text->AutoincCycled = true;
  list.Add(std::move(text));
  StoredLayout layout;
  layout.Add(10158, 10159, I32(2))
      .Append(FieldHead("DATA", 2, 19, 33, 0))
      .Add(10175, 10192, U8(1))
      .Add(10176, 10193, U8(6))
      .Add(10177, 10194, I32(65536))
      .Append(DefaultSequence())
      .Append(NullValue(0))
      .EndObject()
      .Append(FieldHead("NAME", 3, 3, 2, 10))
      .Add(30412, 30407, I64(1))
      .Add(30413, 30408, I64(0))
      .Add(30414, 30409, I64(0))
      .Add(30415, 30410, I64(INT64_MAX))
      .Add(30416, 30411, U8(255))
      .Add(10179, 10183, U8(3))
      .Add(10180, 10184, U8(0))
      .Add(10181, 10185, I32(4))
      .Add(10182, 10186, {'a', 'b', 'c', 0})
      .EndObject();
  const auto loaded = ExpectStoredForm(list, layout);
  EXPECT_TRUE(loaded->Equals(list));
  EXPECT_EQ(loaded->Item(0).BufferSize, 10);
  EXPECT_EQ(loaded->Item(0).StoredSize, 6);
  EXPECT_EQ(loaded->Item(1).DefaultValue.GetAsString(), "abc");
}

TEST(TABSFieldDefsStoredForm, FieldOfIntegerTypeHasNoBlobItems) {
  TABSFieldDefs list;
  auto field = Field("N", 1, adtInteger);
  field->BlobCompressionAlgorithm = 2;
  list.Add(std::move(field));
  TMemoryStream stream;
  list.SaveToStream(stream);
  EXPECT_EQ(stream.Size(), 4 + 2 + 4 + 1 + 1 + 4 + 33 + 2);
}

TEST(TABSConstraintDefsStoredForm, CheckConstraintWithBounds) {
  TABSConstraintDefs list;
  auto check = std::make_unique<TABSConstraintDefCheck>();
  check->ObjectID = 8;
  check->Table = {"T", 1};
  check->Target = {"F", 3};
  check->MinValue.SetAsInteger(1);
  check->MaxValue.Clear(bdtInteger);
  list.Add(std::move(check));
  StoredLayout layout;
  layout.Add(10158, 10159, I32(1))
      .Add(10219, 10220, U8(4))
      .Name(10164, 10165, 10166, 10167, "")
      .Add(10168, 10169, I32(8))
      .Add(10227, 10230, I32(0))
      .Add(10228, 10231, I32(1))
      .Add(10229, 10232, I32(3))
      .Add(10221, 10233, U8(1))
      .Add(10222, 10234, {0})
      .Add(10223, 10235, U8(2))
      .Add(10224, 10236, {1, 'T'})
      .Add(10225, 10237, U8(2))
      .Add(10226, 10238, {1, 'F'})
      .Add(10179, 10183, U8(7))
      .Add(10180, 10184, U8(0))
      .Add(10181, 10185, I32(4))
      .Add(10182, 10186, I32(1))
      .Append(NullValue(7))
      .EndObject();
  const auto loaded = ExpectStoredForm(list, layout);
  EXPECT_TRUE(loaded->Equals(list));
  EXPECT_EQ(static_cast<TABSConstraintDefCheck&>(loaded->Item(0)).MinValue.GetAsInteger(), 1);
}

TEST(TableMetadataRecord, ThreeListsReadBackInOrder) {
  TABSFieldDefs fields;
  fields.Add(Field("A", 1, adtInteger));
  fields.Add(Field("B", 2, adtWideMemo));
  TABSIndexDefs indexes;
  auto index = std::make_unique<TABSIndexDef>();
  index->Name = "IDX";
  index->Columns = {{"A", false, false, 20}};
  indexes.Add(std::move(index));
  TABSConstraintDefs constraints;
  auto not_null = std::make_unique<TABSConstraintDefNotNull>();
  not_null->Target = {"A", 1};
  constraints.Add(std::move(not_null));
  TMemoryStream stream;
  fields.SaveToStream(stream);
  indexes.SaveToStream(stream);
  constraints.SaveToStream(stream);
  stream.SetPosition(0);
  TABSFieldDefs read_fields;
  TABSIndexDefs read_indexes;
  TABSConstraintDefs read_constraints;
  read_fields.LoadFromStream(stream);
  read_indexes.LoadFromStream(stream);
  read_constraints.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_TRUE(read_fields.Equals(fields));
  EXPECT_TRUE(read_indexes.Equals(indexes));
  EXPECT_TRUE(read_constraints.Equals(constraints));
}

struct CorruptFieldCase {
  const char* what;
  Bytes bytes;
  int32_t code;
};

class CorruptFieldList : public ::testing::TestWithParam<CorruptFieldCase> {};

TEST_P(CorruptFieldList, FailsWithTheItemCode) {
  TMemoryStream stream = StreamOf(GetParam().bytes);
  TABSFieldDefs list;
  EXPECT_EQ(NativeCodeOf([&] { list.LoadFromStream(stream); }), GetParam().code);
}

Bytes FieldBytes(uint8_t base, uint8_t advanced, int32_t size, const Bytes& value) {
  StoredLayout layout;
  layout.Add(0, 0, I32(1))
      .Append(FieldHead("F", 1, base, advanced, size))
      .Append(DefaultSequence());
  Bytes bytes = layout.All();
  bytes.insert(bytes.end(), value.begin(), value.end());
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptFieldList,
    ::testing::Values(
        CorruptFieldCase{"base type zero", FieldBytes(0, 7, 0, {0, 255}), 10187},
        CorruptFieldCase{"base type past the table", FieldBytes(25, 7, 0, {0, 255}), 10187},
        CorruptFieldCase{"advanced type unknown", FieldBytes(7, 37, 0, {0, 255}), 10188},
        CorruptFieldCase{"negative size", FieldBytes(3, 2, -5, {0, 255}), 10189},
        CorruptFieldCase{"absurd size", FieldBytes(4, 4, 0x7FFFFFFF, {0, 255}), 10189},
        CorruptFieldCase{"unknown value type", FieldBytes(7, 7, 0, {99, 0}), 10183},
        CorruptFieldCase{"value longer than the stream",
                         FieldBytes(3, 2, 10, {3, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}), 10186},
        CorruptFieldCase{"negative value length",
                         FieldBytes(3, 2, 10, {3, 0, 0xFF, 0xFF, 0xFF, 0xFF}), 10185},
        CorruptFieldCase{"huge count", {0xFF, 0xFF, 0xFF, 0x7F, 1, 'A', 0}, 10169}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(TABSFieldDefTest, SetDataTypeDerivesBaseTypeAndSizes) {
  TABSFieldDef field;
  field.SetDataType(adtWideString, 40);
  EXPECT_EQ(field.BaseType, bdtWideString);
  EXPECT_EQ(field.BufferSize, 82);
  EXPECT_EQ(field.StoredSize, 82);
  field.SetDataType(adtBlob, 0);
  EXPECT_EQ(field.BufferSize, 10);
  EXPECT_EQ(field.StoredSize, 6);
  try {
    field.SetDataType(adtUnknown, 4);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeError(), 30007);
  }
  EXPECT_EQ(field.AdvancedType, adtBlob);
}

struct AutoincCase {
  int64_t increment;
  int64_t max_value;
  bool cycled;
  int64_t last;
  int64_t next;  // 0 with `fails`
  bool fails;
};

class NextAutoinc : public ::testing::TestWithParam<AutoincCase> {};

TEST_P(NextAutoinc, FollowsTheSequence) {
  const AutoincCase& c = GetParam();
  TABSFieldDef field;
  field.Name = "ID";
  field.AutoincIncrement = c.increment;
  field.AutoincMaxValue = c.max_value;
  field.AutoincMinValue = 5;
  field.AutoincCycled = c.cycled;
  if (c.fails) {
    try {
      field.NextAutoincValue(c.last);
      FAIL();
    } catch (const EABSException& error) {
      EXPECT_EQ(error.Message(), "Autoinc max value exceeded for field 'ID' - Native error: 20160");
    }
  } else {
    EXPECT_EQ(field.NextAutoincValue(c.last), c.next);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, NextAutoinc,
                         ::testing::Values(AutoincCase{1, INT64_MAX, false, 0, 1, false},
                                           AutoincCase{0, INT64_MAX, false, 7, 8, false},
                                           AutoincCase{10, 100, false, 90, 100, false},
                                           AutoincCase{10, 100, false, 91, 0, true},
                                           AutoincCase{10, 100, true, 91, 5, false},
                                           AutoincCase{10, 0, false, 1000, 1010, false},
                                           AutoincCase{1, INT64_MAX, false, INT64_MAX, 0, true},
                                           AutoincCase{1, 0, true, INT64_MAX, 5, false}));

TEST(TABSFieldDefsTest, ComputeOffsetsLaysOutNullFlagsThenFields) {
  TABSFieldDefs list;
  list.Add(Field("I", 1, adtInteger));
  list.Add(Field("S", 2, adtString, 40));
  list.Add(Field("B", 3, adtBlob));
  const TABSRecordSizes sizes = list.ComputeOffsets();
  EXPECT_EQ(sizes.NullFlagsSize, 1);
  EXPECT_EQ(list.Item(1).BufferOffset, 5);
  EXPECT_EQ(list.Item(2).BufferOffset, 46);
  EXPECT_EQ(list.Item(2).StoredOffset, 46);
  EXPECT_EQ(sizes.BufferSize, 56);
  EXPECT_EQ(sizes.StoredSize, 52);
}

TEST(TABSFieldDefsTest, NullFlagAreaTakesOneBitPerField) {
  TABSFieldDefs list;
  for (int i = 0; i < 8; ++i)
    list.Add(Field(std::string(1, static_cast<char>('A' + i)), i, adtByte));
  EXPECT_EQ(list.ComputeOffsets().NullFlagsSize, 1);
  list.Add(Field("F8", 8, adtByte));
  EXPECT_EQ(list.ComputeOffsets().NullFlagsSize, 2);
  EXPECT_EQ(list.Item(0).BufferOffset, 2);
  EXPECT_EQ(TABSFieldDefs().ComputeOffsets().BufferSize, 0);
}

TEST(TABSFieldDefsTest, AssignCopiesDefaultValuesDeeplyAndRefusesDuplicateNames) {
  TABSFieldDefs source;
  auto field = Field("NAME", 1, adtString, 10);
  field->DefaultValue.SetAsString("x");
  source.Add(std::move(field));
  TABSFieldDefs copy;
  copy.Assign(source);
  source.Item(0).DefaultValue.SetAsString("y");
  EXPECT_EQ(copy.Item(0).DefaultValue.GetAsString(), "x");
  source.Add(Field("name", 2, adtInteger));
  try {
    copy.Assign(source);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Duplicate field name name - Native error: 10424");
  }
}

}  // namespace
}  // namespace tabshift
