#include <gtest/gtest.h>

#include "framework/Exception.h"
#include "framework/StringList.h"

namespace tabshift {
namespace {

TEST(StringListTest, SortsWithoutRegardToCaseAndKeepsObjects) {
  int a = 1, b = 2, c = 3;
  TStringList list;
  list.AddObject("banana", &b);
  list.AddObject("Apple", &a);
  list.AddObject("cherry", &c);
  list.Sort();
  EXPECT_EQ(list.Strings(0), "Apple");
  EXPECT_EQ(list.Objects(0), &a);
  EXPECT_EQ(list.Strings(2), "cherry");
  EXPECT_EQ(list.IndexOf("BANANA"), 1);
  EXPECT_EQ(list.IndexOfObject(&c), 2);
}

TEST(StringListTest, SortedListInsertsInPlaceAndFinds) {
  TStringList list;
  list.SetSorted(true);
  for (const char* word : {"delta", "Alpha", "charlie", "bravo"}) list.Add(word);
  EXPECT_EQ(list.Strings(0), "Alpha");
  EXPECT_EQ(list.Strings(3), "delta");
  int index = -1;
  EXPECT_TRUE(list.Find("CHARLIE", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("echo", index));
  EXPECT_EQ(index, 4);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("CHARLIE"), -1);
}

TEST(StringListTest, IndexOutOfBoundsRaises) {
  TStringList list;
  list.Add("x");
  EXPECT_THROW(list.Strings(1), EStringListError);
  EXPECT_THROW(list.Delete(-1), EStringListError);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace tabshift
