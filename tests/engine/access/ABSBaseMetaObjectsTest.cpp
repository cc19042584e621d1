#include <gtest/gtest.h>

#include "MetaLayout.h"
#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/access/ABSBaseIndexDefs.h"

namespace tabshift {
namespace {

using testing_meta::NativeCodeOf;

std::unique_ptr<TABSIndexDef> Named(const std::string& name, int32_t object_id) {
  auto index = std::make_unique<TABSIndexDef>();
  index->Name = name;
  index->ObjectID = object_id;
  return index;
}

std::vector<std::string> Names(const TABSMetaObjectDefs& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.Object(i).Name);
  return names;
}

class MetaObjectList : public ::testing::Test {
 protected:
  void SetUp() override {
    list.Add(Named("A", 10));
    list.Add(Named("b", 11));
    list.Add(Named("C", 12));
  }
  TABSIndexDefs list;
};

TEST_F(MetaObjectList, InsertMoveAndDeleteKeepTheOrder) {
  list.Insert(1, Named("X", 13));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "X", "b", "C"}));
  list.Move(0, 3);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"X", "b", "C", "A"}));
  list.Move(3, 1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"X", "A", "b", "C"}));
  list.Delete(0);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "b", "C"}));
  list.Insert(3, Named("D", 14));
  EXPECT_EQ(list.Count(), 4);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(MetaObjectList, PositionsOutsideTheListAreRefused) {
  EXPECT_THROW(list.Delete(3), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Insert(4, Named("X", 1)), EListError);
  EXPECT_THROW(list.Move(0, 3), EListError);
  EXPECT_THROW(list.Object(3), EListError);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"A", "b", "C"}));
}

TEST_F(MetaObjectList, ObjectsOfAnotherKindCannotJoin) {
  EXPECT_THROW(list.Add(std::make_unique<TABSConstraintDefNotNull>()), EListError);
  EXPECT_THROW(list.Add(nullptr), EListError);
  EXPECT_EQ(list.Count(), 3);
}

TEST_F(MetaObjectList, FindsByNameWithoutCaseAndByObjectID) {
  EXPECT_EQ(list.FindByName("B"), 1);
  EXPECT_EQ(list.FindByName("c"), 2);
  EXPECT_EQ(list.FindByName("D"), -1);
  EXPECT_EQ(list.FindByObjectID(12), 2);
  EXPECT_EQ(list.FindByObjectID(99), -1);
  EXPECT_EQ(list.ItemByName("a"), &list.GetItem(0));
  EXPECT_EQ(list.ItemByName("z"), nullptr);
  EXPECT_EQ(list.ItemByObjectID(11), &list.GetItem(1));
  EXPECT_EQ(list.ItemByObjectID(-1), nullptr);
}

TEST_F(MetaObjectList, AssignCopiesDeeplyInOrder) {
  TABSIndexDefs copy;
  copy.Add(Named("OLD", 1));
  copy.Assign(list);
  EXPECT_TRUE(copy.Equals(list));
  list.GetItem(0).Name = "changed";
  EXPECT_EQ(copy.GetItem(0).Name, "A");
  EXPECT_NE(&copy.GetItem(0), &list.GetItem(0));
}

TEST_F(MetaObjectList, AssignRefusesNamesThatDifferOnlyInCase) {
  list.Add(Named("B", 20));
  TABSIndexDefs copy;
  try {
    copy.Assign(list);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Duplicate field name B - Native error: 10424");
  }
  EXPECT_EQ(Names(copy), (std::vector<std::string>{"A", "b", "C"}));
}

TEST(MetaObjectBaseList, HasNoElementType) {
  TABSMetaObjectDefs list;
  try {
    list.AddNew();
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(),
              "The method 'InternalAddCreated' not overrided in class 'TABSMetaObjectDefs' - "
              "Native error: 30339");
  }
  TABSIndexDefs source;
  source.Add(Named("A", 1));
  EXPECT_EQ(NativeCodeOf([&] { list.Assign(source); }), 30339);
}

}  // namespace
}  // namespace tabshift
