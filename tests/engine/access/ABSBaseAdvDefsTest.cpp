#include <gtest/gtest.h>

#include "MetaLayout.h"
#include "engine/access/ABSBaseAdvDefs.h"

namespace tabshift {
namespace {

using testing_meta::NativeCodeOf;

TABSAdvFieldDef AdvField(const std::string& name, AdvancedDataType type, int32_t size = 0,
                         bool required = false) {
  TABSAdvFieldDef field;
  field.Name = name;
  field.DataType = type;
  field.Size = size;
  field.Required = required;
  return field;
}

TFieldDefs TableFields() {
  TFieldDefs fields;
  fields.Add("A", ftInteger);
  fields.Add("B", ftString, 20);
  fields.Add("C", ftString, 40);
  return fields;
}

TEST(ToEngineDefs, RequiredFieldAndUniqueIndexGiveTwoConstraints) {
  TABSIndexDefs indexes;
  indexes.Add(BuildIndexDef("IDX", "A;B", "", "", "", false, ixUnique, TableFields()));
  indexes.GetItem(0).ObjectID = 9;
  TABSFieldDefs fields;
  TABSConstraintDefs constraints;
  AdvFieldDefsToEngineDefs({AdvField("A", adtInteger, 0, true), AdvField("B", adtString, 20)},
                           indexes, false, fields, constraints);
  ASSERT_EQ(fields.Count(), 2);
  EXPECT_EQ(fields.Item(1).BufferSize, 21);
  ASSERT_EQ(constraints.Count(), 2);
  const TABSConstraintDef& not_null = constraints.Item(0);
  EXPECT_EQ(not_null.Kind(), constraint_kind::kNotNull);
  EXPECT_EQ(not_null.Name, "");
  EXPECT_EQ(not_null.Target.Name, "A");
  EXPECT_EQ(not_null.Reserved, TABSConstraintRef{});
  const auto& unique = static_cast<const TABSConstraintDefUnique&>(constraints.Item(1));
  EXPECT_EQ(unique.Kind(), constraint_kind::kUnique);
  EXPECT_EQ(unique.Name, "C_Unique$A$B");
  EXPECT_EQ(unique.Target, (TABSConstraintRef{"IDX", 9}));
  EXPECT_EQ(unique.Columns, (std::vector<TABSConstraintRef>{{"A", 0}, {"B", 0}}));
}

TEST(ToEngineDefs, PrimaryIndexCheckBoundsBlobSettingsAndTemporaryTables) {
  TABSIndexDefs indexes;
  indexes.Add(BuildIndexDef("PK", "A", "", "", "", false, ixPrimary | ixUnique, TableFields()));
  TABSAdvFieldDef bounded = AdvField("A", adtInteger);
  bounded.MaxValue.SetAsInteger(100);
  TABSAdvFieldDef blob = AdvField("M", adtMemo);
  blob.BlobBlockSize = 0;
  blob.AutoincCycled = true;
  TABSFieldDefs fields;
  TABSConstraintDefs constraints;
  AdvFieldDefsToEngineDefs({bounded, blob}, indexes, false, fields, constraints);
  EXPECT_EQ(fields.Item(1).BlobBlockSize, kDefaultBlobBlockSize);
  EXPECT_TRUE(fields.Item(1).AutoincCycled);
  ASSERT_EQ(constraints.Count(), 2);
  const auto& check = static_cast<const TABSConstraintDefCheck&>(constraints.Item(0));
  EXPECT_EQ(check.Kind(), constraint_kind::kCheck);
  EXPECT_TRUE(check.MinValue.IsNull());
  EXPECT_EQ(check.MaxValue.GetAsInteger(), 100);
  EXPECT_EQ(constraints.Item(1).Name, "C_PK$A");
  EXPECT_STREQ(constraints.Item(1).ClassName(), "TABSConstraintDefPrimary");

  AdvFieldDefsToEngineDefs({bounded, AdvField("R", adtInteger, 0, true)}, indexes, true, fields,
                           constraints);
  EXPECT_EQ(fields.Count(), 2);
  EXPECT_EQ(constraints.Count(), 0);
}

TEST(BuildIndexDefTest, ColumnsTakeListsOptionsAndSizes) {
  const auto index =
      BuildIndexDef("I", "a,B;C", "B", "c", "4;;8", true, ixUnique | ixDescending, TableFields());
  EXPECT_TRUE(index->Unique);
  EXPECT_FALSE(index->Primary);
  EXPECT_TRUE(index->Temporary);
  EXPECT_EQ(index->IndexKind, 0);
  EXPECT_EQ(index->Columns,
            (std::vector<TABSIndexColumn>{
                {"a", false, false, 4}, {"B", true, false, 20}, {"C", false, true, 8}}));
  const auto all =
      BuildIndexDef("J", "A;B", "", "", "", false, ixDescending | ixCaseInsensitive, TableFields());
  EXPECT_TRUE(all->Columns[0].Descending && all->Columns[1].Descending);
  EXPECT_TRUE(all->Columns[0].CaseInsensitive && all->Columns[1].CaseInsensitive);
}

TEST(BuildIndexDefTest, RefusesMissingNameFieldsAndUnknownFields) {
  const TFieldDefs fields = TableFields();
  EXPECT_EQ(NativeCodeOf([&] { BuildIndexDef("", "A", "", "", "", false, 0, fields); }), 20048);
  EXPECT_EQ(NativeCodeOf([&] { BuildIndexDef("I", "", "", "", "", false, 0, fields); }), 20049);
  try {
    BuildIndexDef("I", "A;Z", "", "", "", false, 0, fields);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Cannot find index field 'Z' - Native error: 20050");
  }
  EXPECT_THROW(BuildIndexDef("I", "A", "", "", "x", false, 0, fields), EConvertError);
}

TEST(IndexDefConversions, FrameworkComponentAndEngineFormsAgree) {
  const TIndexDefs framework = {{"I", "A;B", "a ; b", "", ixUnique}, {"J", "C", "", "C", 0}};
  TABSAdvIndexDefs component;
  IndexDefsToAdvIndexDefs(framework, component);
  ASSERT_EQ(component.size(), 2U);
  EXPECT_EQ(component[0].DescFields, "a ; b");
  TIndexDefs back;
  AdvIndexDefsToIndexDefs(component, back);
  EXPECT_EQ(back[0].Options, ixUnique);  // "a ; b" is not the text "A;B"
  EXPECT_EQ(back[1].Options, ixCaseInsensitive);
  component[0].DescFields = " a;b ";
  AdvIndexDefsToIndexDefs(component, back);
  EXPECT_EQ(back[0].Options, ixUnique | ixDescending);

  TABSIndexDefs engine;
  component[1].MaxIndexedSizes = "12";
  AdvIndexDefsToEngineDefs(component, TableFields(), engine);
  engine.GetItem(0).Primary = true;
  TABSAdvIndexDefs from_engine;
  EngineDefsToAdvIndexDefs(engine, from_engine);
  EXPECT_EQ(from_engine[0],
            (TABSAdvIndexDef{"I", "A;B", "A;B", "", ixUnique | ixPrimary, "20;20", false}));
  EXPECT_EQ(from_engine[1], (TABSAdvIndexDef{"J", "C", "", "C", 0, "12", false}));
}

class FromEngineDefs : public ::testing::Test {
 protected:
  void SetUp() override {
    TABSAdvFieldDef bounded = AdvField("N", adtInteger, 0, true);
    bounded.MinValue.SetAsInteger(1);
    TABSAdvFieldDef blob = AdvField("M", adtBlob);
    blob.BlobCompressionAlgorithm = 2;
    blob.BlobCompressionMode = 9;
    AdvFieldDefsToEngineDefs({bounded, AdvField("G", adtGuid, 38), AdvField("S", adtString, 30),
                              AdvField("ID", adtAutoInc, 0, true), blob},
                             TABSIndexDefs(), false, fields, constraints);
    // Object IDs as the engine assigns them.
    for (int i = 0; i < fields.Count(); ++i) fields.Item(i).ObjectID = 100 + i;
    for (int i = 0; i < constraints.Count(); ++i) {
      TABSConstraintDef& constraint = constraints.Item(i);
      constraint.Target.ObjectID = fields.ItemByName(constraint.Target.Name)->ObjectID;
    }
  }
  TABSFieldDefs fields;
  TABSConstraintDefs constraints;
};

TEST_F(FromEngineDefs, ComponentDefinitionsGetConstraintsBack) {
  TABSAdvFieldDefs component;
  EngineDefsToAdvFieldDefs(fields, constraints, component);
  ASSERT_EQ(component.size(), 5U);
  EXPECT_TRUE(component[0].Required);
  EXPECT_EQ(component[0].MinValue.GetAsInteger(), 1);
  EXPECT_TRUE(component[0].MaxValue.IsNull());
  EXPECT_EQ(component[0].ObjectID, 100);
  EXPECT_EQ(component[1].Size, 0);  // GUID
  EXPECT_EQ(component[2].Size, 30);
  EXPECT_FALSE(component[2].Required);
  EXPECT_EQ(component[4].BlobCompressionAlgorithm, 2);
  fields.Item(4).BlobCompressionAlgorithm = 7;
  EngineDefsToAdvFieldDefs(fields, constraints, component);
  EXPECT_EQ(component[4].BlobCompressionAlgorithm, 0);
}

TEST_F(FromEngineDefs, FrameworkDefinitionsKeepAutoincFieldsOptional) {
  TFieldDefs framework;
  EngineDefsToFieldDefs(fields, constraints, framework);
  ASSERT_EQ(framework.Count(), 5);
  EXPECT_EQ(framework[0], (TFieldDef{"N", ftInteger, 0, true}));
  EXPECT_EQ(framework[1], (TFieldDef{"G", ftGuid, 0, false}));
  EXPECT_EQ(framework[2], (TFieldDef{"S", ftString, 30, false}));
  EXPECT_EQ(framework[3], (TFieldDef{"ID", ftAutoInc, 0, false}));
  EXPECT_EQ(framework[4], (TFieldDef{"M", ftBlob, 0, false}));
  TABSAdvFieldDefs component;
  FieldDefsToAdvFieldDefs(framework, component);
  EXPECT_EQ(component[2].DataType, adtString);
  EXPECT_EQ(component[0].DataType, adtInteger);
  EXPECT_TRUE(component[0].Required);
}

TEST_F(FromEngineDefs, ConstraintOnAMissingFieldFails) {
  TABSAdvFieldDefs component;
  constraints.Item(0).Target.ObjectID = 55;  // the not-null constraint on N
  try {
    EngineDefsToAdvFieldDefs(fields, constraints, component);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Field #55 not found - Native error: 30032");
  }
  constraints.Item(0).Target.ObjectID = 100;
  constraints.Item(1).Target.ObjectID = 56;  // the check constraint on N
  EXPECT_EQ(NativeCodeOf([&] { EngineDefsToAdvFieldDefs(fields, constraints, component); }), 30031);
}

TEST(FrameworkToComponent, UnmappedFrameworkTypeFails) {
  TFieldDefs framework;
  framework.Add("X", ftADT);
  TABSAdvFieldDefs component;
  EXPECT_EQ(NativeCodeOf([&] { FieldDefsToAdvFieldDefs(framework, component); }), 30289);
}

}  // namespace
}  // namespace tabshift
