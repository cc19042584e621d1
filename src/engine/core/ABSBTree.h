// A B+ tree of fixed-size entries in pages of a page manager, ordered by a TABSBTreeOrder. Its
// root page number never changes while the tree lives: a root split moves the root's entries
// into two new pages and a root left with one child takes that child's entries back. The tree
// walks across levels; what happens inside one page is left to the page's leaf or node
// controller. Every operation fetches its pages and releases them before it returns.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/ABSBTreePage.h"
#include "engine/core/ABSTypes.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {

namespace btree_error {
inline constexpr int32_t kInternal = 20020;
inline constexpr int32_t kPageEmpty = 20025;
inline constexpr int32_t kEntryNotFound = 20027;
inline constexpr int32_t kIntegrity = 20028;
inline constexpr int32_t kCircularLinks = 20032;
inline constexpr int32_t kLeafLink = 20033;
inline constexpr int32_t kInvalidPath = 20051;
inline constexpr int32_t kInvalidPosition = 20068;
inline constexpr int32_t kInvalidIndexPageNo = 20070;
inline constexpr int32_t kEmptyIndex = 20074;
inline constexpr int32_t kNoRoot = 20104;
}  // namespace btree_error

// What a search looks for: a key in stored form and, when one entry is meant, its reference.
struct TABSBTreeProbe {
  const uint8_t* key = nullptr;
  const uint8_t* reference = nullptr;  // nullptr matches every entry with an equal key
  const uint8_t* full_key = nullptr;   // for orders that resolve truncated keys
};

class TABSBTreeOrder {
 public:
  virtual ~TABSBTreeOrder() = default;
  // The probe's key against a stored key; truncated prefixes that agree count as equal.
  virtual int CompareKey(const TABSBTreeProbe& probe, const uint8_t* key) const = 0;
  // The probe against a leaf entry: keys, then what a truncated tie hides, then references.
  virtual int CompareEntry(const TABSBTreeProbe& probe, const uint8_t* key,
                           const uint8_t* reference) const = 0;
  // Two stored entries for the integrity check; references may be nullptr (keys only).
  virtual int CompareStored(const uint8_t* left_key, const uint8_t* left_reference,
                            const uint8_t* right_key, const uint8_t* right_reference) const = 0;
};

enum class TABSSeekOperator {
  Equal = 1,
  Less = 2,
  Greater = 3,
  LessOrEqual = 4,
  GreaterOrEqual = 5
};

class TABSBTree {
 public:
  TABSBTree(TABSPageManager& manager, uint16_t key_size, uint16_t reference_size,
            const TABSBTreeOrder& order);

  int32_t RootPageNo() const { return root_page_no_; }
  void SetRootPageNo(int32_t page_no) { root_page_no_ = page_no; }
  uint16_t KeySize() const { return key_size_; }
  uint16_t ReferenceSize() const { return reference_size_; }

  void CreateRoot(int32_t session);
  void Free(int32_t session);
  void Clear(int32_t session);

  void Insert(int32_t session, const TABSBTreeProbe& probe);
  // False when no entry has the probe's key and reference.
  bool Delete(int32_t session, const TABSBTreeProbe& probe);
  bool FindEntry(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path);
  // Leaves the path at the first (or, towards the last, the last) entry that satisfies the
  // operator against the probe's key; false when none does.
  bool Seek(int32_t session, const TABSBTreeProbe& probe, TABSSeekOperator op, bool towards_last,
            TABSKeyPath& path);

  bool First(int32_t session, TABSKeyPath& path);
  bool Last(int32_t session, TABSKeyPath& path);
  bool Next(int32_t session, TABSKeyPath& path);
  bool Prior(int32_t session, TABSKeyPath& path);
  void ReadEntry(int32_t session, const TABSKeyPath& path, uint8_t* key, uint8_t* reference);
  void WriteReference(int32_t session, const TABSKeyPath& path, const uint8_t* reference);

  // 0-based position of the entry at the path in key order.
  int64_t Ordinal(int32_t session, const TABSKeyPath& path);
  // The entry at a 0-based position; false past the end.
  bool EntryAtOrdinal(int32_t session, int64_t ordinal, uint8_t* key, uint8_t* reference);
  static double Fraction(const TABSKeyPath& path);
  int64_t Count(int32_t session);
  int32_t Depth(int32_t session);

  // Raises the first fault found in the tree's structure or order.
  void CheckIntegrity(int32_t session);

 private:
  friend class TABSBTreeLeafController;
  friend class TABSBTreeNodeController;

  TABSPage* Fetch(int32_t session, int32_t page_no);
  TABSPage* Add(int32_t session);
  TABSBTreePageRef PageRef(int32_t session, int32_t page_no) {
    return TABSBTreePageRef(manager_, Fetch(session, page_no), reference_size_);
  }
  int32_t RequireRoot() const;
  void DescendExact(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path);
  // The path to the first entry not below (upper: above) the probe; false past the end.
  bool DescendBound(int32_t session, const TABSBTreeProbe& probe, bool upper, TABSKeyPath& path);
  void DescendEdge(int32_t session, bool last, TABSKeyPath& path);
  void SetLevel(TABSKeyPath& path, int32_t level, int32_t page_no, int32_t position, int32_t count);
  bool StepNext(int32_t session, TABSKeyPath& path);
  bool StepPrior(int32_t session, TABSKeyPath& path);

  void Split(int32_t session, TABSKeyPath& path, int32_t level);
  void SplitRoot(int32_t session, TABSBTreePageRef& root);
  void Rebalance(int32_t session, TABSKeyPath& path, int32_t level);
  void CollapseRoot(int32_t session);
  bool MergeIntoPrior(int32_t session, TABSKeyPath& path, int32_t level);
  bool MergeIntoNext(int32_t session, TABSKeyPath& path, int32_t level);
  void RemoveChildEntry(int32_t session, TABSKeyPath& path, int32_t level, TABSBTreeExtend extend);
  void Unlink(int32_t session, int32_t prev_page_no, int32_t next_page_no);
  // The separator below which the subtree at the path's level starts, or its upper limit.
  std::vector<uint8_t> LowerSeparator(int32_t session, const TABSKeyPath& path, int32_t level);
  std::vector<uint8_t> UpperSeparator(int32_t session, const TABSKeyPath& path, int32_t level);
  void SetLowerSeparator(int32_t session, const TABSKeyPath& path, int32_t level,
                         const uint8_t* key);
  void SetUpperSeparator(int32_t session, const TABSKeyPath& path, int32_t level,
                         const uint8_t* key);
  // Frees the page and every page below it.
  void FreeSubtree(int32_t session, int32_t page_no);

  TABSBTreeSubtreeBounds CheckSubtree(int32_t session, int32_t page_no, int32_t depth,
                                      TABSBTreeCheckState& state);

  TABSPageManager& manager_;
  uint16_t key_size_;
  uint16_t reference_size_;
  const TABSBTreeOrder& order_;
  int32_t root_page_no_ = -1;
};

}  // namespace tabshift
