#include <gtest/gtest.h>

#include <cstring>
#include <typeinfo>
#include <vector>

#include "EngineErrorMatchers.h"
#include "engine/core/ABSBTree.h"
#include "engine/core/ABSBTreePageIndex.h"
#include "engine/core/ABSMemPageManager.h"

namespace tabshift {
namespace {

constexpr int32_t kSession = 0;
constexpr int32_t kEntries = 2000;  // page-number keys, 6-byte entries: 679 per leaf

int32_t KeyOf(const std::vector<uint8_t>& entry) {
  int32_t key;
  std::memcpy(&key, entry.data(), sizeof key);
  return key;
}

// A two-level tree of the keys 0, 2, 4, ... whose pages are inspected one at a time.
class BTreeControllerTest : public ::testing::Test {
 protected:
  BTreeControllerTest()
      : tree_(pages_, TABSPageKeyRef::kKeySize, TABSPageKeyRef::kReferenceSize, order_) {
    tree_.CreateRoot(kSession);
    for (int32_t i = 0; i < kEntries; ++i) Insert(i * 2);
  }

  void Insert(int32_t key) {
    const uint16_t value = 7;
    tree_.Insert(kSession, {reinterpret_cast<const uint8_t*>(&key),
                            reinterpret_cast<const uint8_t*>(&value), nullptr});
  }

  TABSBTreePageRef Page(int32_t page_no) {
    return TABSBTreePageRef(pages_, pages_.GetPage(kSession, page_no, true, kTableIndexPageType),
                            TABSPageKeyRef::kReferenceSize);
  }

  int32_t FirstLeafPageNo() {
    TABSKeyPath path;
    tree_.First(kSession, path);
    return path.levels[path.depth - 1].page_no;
  }

  TABSMemoryPageManager pages_;
  TABSPageKeyRef order_;
  TABSBTree tree_;
  TABSBTreeContext context_{tree_, kSession};
};

TEST_F(BTreeControllerTest, EveryPageOperationGoesToTheControllerOfItsLeafFlag) {
  ASSERT_EQ(tree_.Depth(kSession), 2);
  TABSBTreePageRef root = Page(tree_.RootPageNo());
  TABSBTreePageRef leaf = Page(FirstLeafPageNo());
  EXPECT_EQ(typeid(root->Controller()), typeid(TABSBTreeNodeController));
  EXPECT_EQ(typeid(leaf->Controller()), typeid(TABSBTreeLeafController));
}

TEST_F(BTreeControllerTest, FirstAndLastEntriesOfASubtreeComeFromItsOuterLeaves) {
  TABSBTreePageRef root = Page(tree_.RootPageNo());
  std::vector<uint8_t> entry;
  ASSERT_TRUE(root->GetFirstEntry(context_, entry));
  EXPECT_EQ(KeyOf(entry), 0);
  ASSERT_TRUE(root->GetLastEntry(context_, entry));
  EXPECT_EQ(KeyOf(entry), (kEntries - 1) * 2);
  ASSERT_EQ(entry.size(), 6u);

  TABSBTreePageRef leaf = Page(FirstLeafPageNo());
  ASSERT_TRUE(leaf->GetLastEntry(context_, entry));
  EXPECT_EQ(KeyOf(entry), (leaf->Count() - 1) * 2);
  EXPECT_EQ(leaf->GoToLast(), leaf->Count() - 1);
  EXPECT_EQ(root->GoToLast(), root->Count() - 1);
  EXPECT_EQ(root->GoToFirst(), 0);
}

TEST_F(BTreeControllerTest, NodeSearchesLeadToTheChildHoldingTheKey) {
  TABSBTreePageRef root = Page(tree_.RootPageNo());
  ASSERT_GE(root->Count(), 3);
  std::vector<uint8_t> first;
  for (const int32_t key : {0, 1, 1354, 1356, 1357, (kEntries - 1) * 2, 100000}) {
    const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&key), nullptr, nullptr};
    const int32_t child = root->FindEntry(context_, probe);
    TABSBTreePageRef page = Page(root->ChildPageNo(child));
    ASSERT_TRUE(page->GetFirstEntry(context_, first));
    EXPECT_LE(KeyOf(first), std::max(key, 0)) << key;
    if (child + 1 < root->Count()) {
      int32_t upper;
      std::memcpy(&upper, root->Key(child + 1), sizeof upper);
      EXPECT_LT(key, upper) << key;
    }
    // A leaf's insertion position and bounds around an existing and a missing key.
    const int32_t at = page->FindEntry(context_, probe);
    const int32_t lower = page->Seek(context_, probe, TABSBTreeBound::Lower);
    const int32_t upper = page->Seek(context_, probe, TABSBTreeBound::Upper);
    EXPECT_EQ(at, lower) << key;
    EXPECT_EQ(upper - lower, key % 2 == 0 && key < kEntries * 2 ? 1 : 0) << key;
  }
}

TEST_F(BTreeControllerTest, NodeRefusesAnEntryBeforeItsLeftmostChild) {
  TABSBTreePageRef root = Page(tree_.RootPageNo());
  const uint8_t key[4] = {};
  const int32_t child = 1;
  EXPECT_ENGINE_ERROR(root->Insert(context_, 0, key, reinterpret_cast<const uint8_t*>(&child)),
                      20020, "Internal index error - Native error: 20020");
}

TEST_F(BTreeControllerTest, UnusedFirstKeyOfANodeTakesNoPartInSearchOrChecks) {
  {
    TABSBTreePageRef root = Page(tree_.RootPageNo());
    const int32_t huge = 1 << 30;
    root->SetFirstKey(reinterpret_cast<const uint8_t*>(&huge));
    root.Modified();
  }
  tree_.CheckIntegrity(kSession);
  TABSKeyPath path;
  const int32_t key = 10;
  ASSERT_TRUE(
      tree_.FindEntry(kSession, {reinterpret_cast<const uint8_t*>(&key), nullptr, nullptr}, path));
}

TEST_F(BTreeControllerTest, LeafLastKeyAboveTheNextLeafFailsTheCheck) {
  const int32_t first_leaf = FirstLeafPageNo();
  {
    TABSBTreePageRef leaf = Page(first_leaf);
    const int32_t beyond = kEntries * 2;
    leaf->SetLastKey(reinterpret_cast<const uint8_t*>(&beyond));
    leaf.Modified();
  }
  EXPECT_ENGINE_ERROR(tree_.CheckIntegrity(kSession), 20028,
                      "Index integrity error. PageNo=" + std::to_string(tree_.RootPageNo()) +
                          " EntryNo=1 - Native error: 20028");
}

TEST_F(BTreeControllerTest, FreeingTheRootsSubtreeGivesBackEveryPageBelowIt) {
  const int32_t before = pages_.GetPageCount();
  ASSERT_GT(before, 3);
  {
    TABSBTreePageRef root = Page(tree_.RootPageNo());
    root->FreeSubtree(context_);
  }
  pages_.CommitSessionPages(kSession);
  EXPECT_EQ(pages_.GetPageCount(), 1);
}

}  // namespace
}  // namespace tabshift
