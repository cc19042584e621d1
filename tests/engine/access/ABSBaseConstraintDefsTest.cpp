#include <gtest/gtest.h>

#include "MetaLayout.h"
#include "engine/access/ABSBaseConstraintDefs.h"

namespace tabshift {
namespace {

using namespace testing_meta;

std::unique_ptr<TABSConstraintDef> NotNullOnF() {
  auto constraint = std::make_unique<TABSConstraintDefNotNull>();
  constraint->ObjectID = 5;
  constraint->Table = {"T", 1};
  constraint->Target = {"F", 3};
  return constraint;
}

// Kind, name, ObjectID, the three pair IDs, then each pair name as a byte holding n + 1 and
// the short name itself.
StoredLayout NotNullLayout() {
  StoredLayout layout;
  layout.Add(10219, 10220, U8(3))
      .Name(10164, 10165, 10166, 10167, "")
      .Add(10168, 10169, I32(5))
      .Add(10240, 10249, I32(0))
      .Add(10241, 10250, I32(1))
      .Add(10242, 10251, I32(3))
      .Add(10243, 10252, U8(1))
      .Add(10244, 10253, {0})
      .Add(10245, 10254, U8(2))
      .Add(10246, 10255, {1, 'T'})
      .Add(10247, 10256, U8(2))
      .Add(10248, 10257, {1, 'F'})
      .EndObject();
  return layout;
}

std::unique_ptr<TABSConstraintDef> UniqueOnAB(bool primary) {
  std::unique_ptr<TABSConstraintDefUnique> constraint;
  if (primary) {
    constraint = std::make_unique<TABSConstraintDefPrimary>();
  } else {
    constraint = std::make_unique<TABSConstraintDefUnique>();
  }
  constraint->Name = primary ? "C_PK$A$B" : "C_Unique$A$B";
  constraint->ObjectID = 6;
  constraint->Reserved = {"R", 4};
  constraint->Table = {"T", 1};
  constraint->Target = {"IDX", 7};
  constraint->Columns = {{"A", 0}, {"B", 2}};
  return constraint;
}

// Kind, name, ObjectID, the three pair IDs, then each pair name as an int32 holding n + 1 and
// the short name itself, then the column count and per column its ID and wrapped name.
StoredLayout UniqueLayout(bool primary) {
  StoredLayout layout;
  layout.Add(10219, 10220, U8(primary ? 0 : 2))
      .Name(10164, 10165, 10166, 10167, primary ? "C_PK$A$B" : "C_Unique$A$B")
      .Add(10168, 10169, I32(6))
      .Add(30313, 30303, I32(4))
      .Add(30314, 30304, I32(1))
      .Add(30318, 30317, I32(7))
      .Add(30315, 30305, I32(2))
      .Add(30316, 30306, {1, 'R'})
      .Add(30317, 30307, I32(2))
      .Add(30318, 30308, {1, 'T'})
      .Add(30323, 30321, I32(4))
      .Add(30324, 30322, {3, 'I', 'D', 'X'})
      .Add(30319, 30309, I32(2))
      .Add(30320, 30310, I32(0))
      .Add(30321, 30311, I32(2))
      .Add(30322, 30312, {1, 'A'})
      .Add(30320, 30310, I32(2))
      .Add(30321, 30311, I32(2))
      .Add(30322, 30312, {1, 'B'})
      .EndObject();
  return layout;
}

TEST(TABSConstraintDefsStoredForm, NotNullAndUniqueMatchTheirBytes) {
  TABSConstraintDefs list;
  list.Add(NotNullOnF());
  list.Add(UniqueOnAB(false));
  StoredLayout layout;
  layout.Add(10158, 10159, I32(2)).Append(NotNullLayout()).Append(UniqueLayout(false));
  const Bytes not_null = {3, 0, 5, 0, 0, 0, 0, 0, 0, 0,   1, 0, 0,
                          0, 3, 0, 0, 0, 1, 0, 2, 1, 'T', 2, 1, 'F'};
  EXPECT_EQ(NotNullLayout().All(), not_null);
  const auto loaded = ExpectStoredForm(list, layout);
  EXPECT_TRUE(loaded->Equals(list));
  EXPECT_STREQ(loaded->Item(1).ClassName(), "TABSConstraintDefUnique");
}

TEST(TABSConstraintDefsStoredForm, PrimaryKeyIsAUniqueConstraintOfKindZero) {
  TABSConstraintDefs list;
  list.Add(UniqueOnAB(true));
  StoredLayout layout;
  layout.Add(10158, 10159, I32(1)).Append(UniqueLayout(true));
  const auto loaded = ExpectStoredForm(list, layout);
  EXPECT_TRUE(loaded->Equals(list));
  EXPECT_STREQ(loaded->Item(0).ClassName(), "TABSConstraintDefPrimary");
  EXPECT_EQ(loaded->Item(0).Kind(), 0);
}

TEST(TABSConstraintDefsStoredForm, LongestNameSurvivesTheByteWrappedForm) {
  TABSConstraintDefs list;
  auto constraint = NotNullOnF();
  constraint->Target.Name = std::string(255, 'x');
  list.Add(std::move(constraint));
  TMemoryStream stream;
  list.SaveToStream(stream);
  const Bytes stored = ContentOf(stream);
  // The size 256 does not fit its byte: the writer keeps the low byte 0.
  const size_t target_size_at = stored.size() - 257;
  EXPECT_EQ(stored[target_size_at], 0);
  EXPECT_EQ(stored[target_size_at + 1], 255);
  stream.SetPosition(0);
  TABSConstraintDefs loaded;
  loaded.LoadFromStream(stream);
  EXPECT_TRUE(loaded.Equals(list));
}

TEST(TABSConstraintDefsStoredForm, NameTooLongForItsLengthByteIsRefused) {
  TABSConstraintDefs list;
  auto constraint = NotNullOnF();
  constraint->Name = std::string(256, 'x');
  list.Add(std::move(constraint));
  TMemoryStream stream;
  EXPECT_EQ(NativeCodeOf([&] { list.SaveToStream(stream); }), 10164);
}

struct CorruptConstraintCase {
  const char* what;
  Bytes bytes;
  int32_t code;
};

class CorruptConstraintList : public ::testing::TestWithParam<CorruptConstraintCase> {};

TEST_P(CorruptConstraintList, FailsWithTheItemCode) {
  TMemoryStream stream = StreamOf(GetParam().bytes);
  TABSConstraintDefs list;
  EXPECT_EQ(NativeCodeOf([&] { list.LoadFromStream(stream); }), GetParam().code);
}

Bytes UniqueHead() {
  Bytes bytes = {1, 0, 0, 0, 2, 0, 0, 0, 0, 0};
  for (int i = 0; i < 12; ++i) bytes.push_back(0);
  return bytes;
}

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptConstraintList,
    ::testing::Values(
        CorruptConstraintCase{"unknown kind", {1, 0, 0, 0, 1}, 30316},
        CorruptConstraintCase{"kind five", {1, 0, 0, 0, 5}, 30316},
        CorruptConstraintCase{"negative count", {0, 0, 0, 0x80}, 10159},
        CorruptConstraintCase{"wrapped size zero", Concat(UniqueHead(), {0, 0, 0, 0}), 30305},
        CorruptConstraintCase{"wrapped size too big", Concat(UniqueHead(), {2, 1, 0, 0}), 30305},
        CorruptConstraintCase{"wrapped size huge", Concat(UniqueHead(), {0xFF, 0xFF, 0xFF, 0x7F}),
                              30305},
        CorruptConstraintCase{"wrapped size disagrees with name",
                              Concat(UniqueHead(), {3, 0, 0, 0, 1, 'A', 'B'}), 30306},
        CorruptConstraintCase{
            "byte wrapped size disagrees with name",
            Concat({1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                   {3, 1, 'A', 'B'}),
            10253},
        CorruptConstraintCase{"huge column count",
                              Concat(UniqueHead(), {1, 0, 0, 0,    0,    1,    0,    0, 0, 0, 1, 0,
                                                    0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}),
                              30311}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST(TABSConstraintDefsTest, AssignCopiesEachKindDeeply) {
  TABSConstraintDefs source;
  source.Add(NotNullOnF());
  source.Add(NotNullOnF());  // unnamed constraints never clash
  source.Add(UniqueOnAB(true));
  TABSConstraintDefs copy;
  copy.Assign(source);
  EXPECT_TRUE(copy.Equals(source));
  EXPECT_STREQ(copy.Item(2).ClassName(), "TABSConstraintDefPrimary");
  static_cast<TABSConstraintDefUnique&>(source.Item(2)).Columns[0].Name = "changed";
  EXPECT_EQ(static_cast<TABSConstraintDefUnique&>(copy.Item(2)).Columns[0].Name, "A");
}

// A constraint kind this system does not know, as another program might define it.
class ForeignConstraint : public TABSConstraintDef {
 public:
  ForeignConstraint() : TABSConstraintDef(1) {}
  const char* ClassName() const override { return "ForeignConstraint"; }
};

TEST(TABSConstraintDefsTest, AssignRefusesUnknownKinds) {
  TABSConstraintDefs source;
  source.Add(NotNullOnF());
  source.Add(std::make_unique<ForeignConstraint>());
  TABSConstraintDefs copy;
  try {
    copy.Assign(source);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Not implemented yet - Native error: 30035");
  }
  EXPECT_EQ(copy.Count(), 1);
}

TEST(TABSConstraintDefsTest, AddNewHasNoElementType) {
  TABSConstraintDefs list;
  try {
    list.AddNew();
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "The method 'InternalAddCreated' not overrided in class 'TABSConstraintDefs' - "
              "Native error: 30339");
  }
}

}  // namespace
}  // namespace tabshift
