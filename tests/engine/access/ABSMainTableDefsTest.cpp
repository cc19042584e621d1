#include <gtest/gtest.h>

#include "engine/access/ABSMainTableDefs.h"
#include "engine/core/EngineErrorMatchers.h"

namespace tabshift {
namespace {

TABSAdvFieldDef AdvField(const std::string& name, AdvancedDataType type, int32_t size = 0) {
  TABSAdvFieldDef field;
  field.Name = name;
  field.DataType = type;
  field.Size = size;
  return field;
}

TEST(PrepareFieldDefinitions, FrameworkDefinitionsBecomeComponentLevelOnes) {
  TFieldDefs fields;
  fields.Add("ID", ftInteger, 0, true);
  fields.Add("NAME", ftString, 40);
  fields.Add("KEY", ftGuid, 5);
  TABSAdvFieldDefs adv;
  PrepareFieldDefinitions("T", fields, adv);
  ASSERT_EQ(adv.size(), 3u);
  EXPECT_EQ(adv[0].DataType, adtInteger);
  EXPECT_TRUE(adv[0].Required);
  EXPECT_EQ(adv[1].DataType, adtString);
  EXPECT_EQ(adv[1].Size, 40);
  EXPECT_EQ(adv[2].DataType, adtGuid);
  EXPECT_EQ(adv[2].Size, 38);
  EXPECT_EQ(fields[2].Size, 38);
}

struct RefusedField {
  TFieldType type;
  int32_t size;
  int32_t code;
  const char* message;
};

class RefusedFrameworkField : public ::testing::TestWithParam<RefusedField> {};

TEST_P(RefusedFrameworkField, FailsWithItsCodeAndMessage) {
  TFieldDefs fields;
  fields.Add("ID", ftInteger);
  fields.Add("F", GetParam().type, GetParam().size);
  TABSAdvFieldDefs adv;
  EXPECT_ENGINE_ERROR(PrepareFieldDefinitions("PEOPLE", fields, adv), GetParam().code,
                      GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedFrameworkField,
    ::testing::Values(
        RefusedField{ftString, 0, 30453,
                     "Cannot create table 'PEOPLE' with field: F STRING(0) - Native error: 30453"},
        RefusedField{ftBytes, -1, 30453,
                     "Cannot create table 'PEOPLE' with field: F BYTES(-1) - Native error: 30453"},
        RefusedField{ftWideString, 0, 30453,
                     "Cannot create table 'PEOPLE' with field: F WIDECHAR(0) - Native error: "
                     "30453"},
        RefusedField{ftFMTBcd, 0, 30289, "Unknown DataType: '37' - Native error: 30289"},
        RefusedField{ftVariant, 0, 30289, "Unknown DataType: '32' - Native error: 30289"}));

TEST(PrepareFieldDefinitions, FieldWithoutNameIsRefusedWithItsPosition) {
  TFieldDefs fields;
  fields.Add("ID", ftInteger);
  fields.Add("", ftInteger);
  TABSAdvFieldDefs adv;
  EXPECT_ENGINE_ERROR(PrepareFieldDefinitions("T", fields, adv), 30499,
                      "Missing field name. FieldNo=1, table 'T' - Native error: 30499");
}

TEST(PrepareFieldDefinitions, ComponentLevelDefinitionsAreNormalisedAndRebuildTheFramework) {
  TABSAdvFieldDefs adv = {AdvField("N", adtInteger, 12), AdvField("S", adtString, 10),
                          AdvField("B", adtVarBytes, 4), AdvField("G", adtGuid, 0),
                          AdvField("M", adtMemo, 7)};
  adv[0].DefaultValue.SetAsString("42");
  adv[0].MinValue.SetAsString("");
  adv[0].MaxValue.SetAsString("100");
  adv[1].DefaultValue.SetAsString("");
  adv[1].Required = true;
  TFieldDefs fields;
  fields.Add("stale", ftFloat);
  PrepareFieldDefinitions("T", fields, adv);

  EXPECT_EQ(adv[0].Size, 0);
  EXPECT_EQ(adv[0].DefaultValue.Type(), bdtInteger);
  EXPECT_EQ(adv[0].DefaultValue.GetAsInteger(), 42);
  EXPECT_TRUE(adv[0].MinValue.IsNull());
  EXPECT_EQ(adv[0].MaxValue.GetAsInteger(), 100);
  EXPECT_TRUE(adv[1].DefaultValue.IsNull());
  EXPECT_EQ(adv[1].Size, 10);
  EXPECT_EQ(adv[2].Size, 4);
  EXPECT_EQ(adv[3].Size, 38);
  EXPECT_EQ(adv[4].Size, 0);

  TFieldDefs expected;
  expected.Add("N", ftInteger);
  expected.Add("S", ftString, 10, true);
  expected.Add("B", ftVarBytes, 4);
  expected.Add("G", ftGuid, 38);
  expected.Add("M", ftMemo);
  EXPECT_EQ(fields, expected);
}

TEST(PrepareFieldDefinitions, CompressedBlobNeedsACompressionMode) {
  TABSAdvFieldDefs adv = {AdvField("PIC", adtBlob)};
  adv[0].BlobCompressionAlgorithm = 1;
  TFieldDefs fields;
  EXPECT_ENGINE_CODE(PrepareFieldDefinitions("T", fields, adv), 20257);
  adv[0].BlobCompressionMode = 9;
  PrepareFieldDefinitions("T", fields, adv);
  EXPECT_EQ(fields.Count(), 1);
}

TEST(PrepareIndexDefinitions, FrameworkIndexesBecomeComponentLevelOnes) {
  TIndexDefs indexes = {{"IDX", "A,B", "", "", ixUnique}};
  TABSAdvIndexDefs adv;
  PrepareIndexDefinitions(indexes, adv, {});
  ASSERT_EQ(adv.size(), 1u);
  EXPECT_EQ(adv[0].Name, "IDX");
  EXPECT_EQ(adv[0].Fields, "A,B");
  EXPECT_EQ(adv[0].Options, ixUnique);
  EXPECT_EQ(adv[0].MaxIndexedSizes, "");
}

TEST(PrepareIndexDefinitions, ComponentLevelIndexesRebuildTheFrameworkOnes) {
  TABSAdvIndexDef index;
  index.Name = "IDX";
  index.Fields = "A;B";
  index.DescFields = "a;b";
  TABSAdvIndexDefs adv = {index};
  TIndexDefs indexes = {{"OLD", "X", "", "", 0}};
  PrepareIndexDefinitions(indexes, adv, {});
  ASSERT_EQ(indexes.size(), 1u);
  EXPECT_EQ(indexes[0].Name, "IDX");
  EXPECT_EQ(indexes[0].Options, ixDescending);
}

TEST(PrepareIndexDefinitions, IndexedSizesStayOnlyForSizedFieldsAndUnknownOnes) {
  const TABSAdvFieldDefs fields = {AdvField("NUM", adtInteger), AdvField("NAME", adtString, 40),
                                   AdvField("RAW", adtBytes, 8)};
  TABSAdvIndexDef index;
  index.Name = "IDX";
  index.Fields = "NUM;NAME;RAW;OTHER";
  index.MaxIndexedSizes = "8;30;0;12";
  TABSAdvIndexDefs adv = {index};
  TIndexDefs indexes;
  PrepareIndexDefinitions(indexes, adv, fields);
  EXPECT_EQ(adv[0].MaxIndexedSizes, "20;30;20;12");

  TABSAdvIndexDef kept;
  kept.Name = "K";
  kept.Fields = "NAME,NUM";
  kept.MaxIndexedSizes = "35";
  adv = {kept};
  PrepareIndexDefinitions(indexes, adv, fields);
  EXPECT_EQ(adv[0].MaxIndexedSizes, "35");
}

TEST(BuildEngineDefinitions, FieldsIndexesAndConstraintsOfANewTable) {
  TFieldDefs fields;
  fields.Add("ID", ftInteger, 0, true);
  fields.Add("NAME", ftString, 40);
  TIndexDefs indexes = {{"BYNAME", "NAME", "", "", ixUnique}};
  TABSAdvFieldDefs adv_fields;
  TABSAdvIndexDefs adv_indexes;
  PrepareFieldDefinitions("T", fields, adv_fields);
  PrepareIndexDefinitions(indexes, adv_indexes, adv_fields);
  TABSTableDefinitions engine;
  BuildEngineDefinitions(fields, adv_fields, adv_indexes, false, engine);
  ASSERT_EQ(engine.Fields.Count(), 2);
  EXPECT_EQ(engine.Fields.Item(1).BufferSize, 41);
  ASSERT_EQ(engine.Indexes.Count(), 1);
  EXPECT_TRUE(engine.Indexes.GetItem(0).Unique);
  EXPECT_EQ(engine.Indexes.GetItem(0).Columns[0].MaxIndexedSize, 20);
  ASSERT_EQ(engine.Constraints.Count(), 2);
  EXPECT_EQ(engine.Constraints.Item(1).Name, "C_Unique$NAME");

  TABSTableDefinitions temporary;
  BuildEngineDefinitions(fields, adv_fields, adv_indexes, true, temporary);
  EXPECT_EQ(temporary.Constraints.Count(), 0);
}

TEST(BuildEngineDefinitions, IndexOnAMissingFieldIsRefused) {
  TFieldDefs fields;
  fields.Add("ID", ftInteger);
  TABSAdvFieldDefs adv_fields;
  PrepareFieldDefinitions("T", fields, adv_fields);
  TIndexDefs indexes = {{"IDX", "NOPE", "", "", 0}};
  TABSAdvIndexDefs adv_indexes;
  PrepareIndexDefinitions(indexes, adv_indexes, adv_fields);
  TABSTableDefinitions engine;
  EXPECT_ENGINE_ERROR(BuildEngineDefinitions(fields, adv_fields, adv_indexes, false, engine), 20050,
                      "Cannot find index field 'NOPE' - Native error: 20050");
}

}  // namespace
}  // namespace tabshift
