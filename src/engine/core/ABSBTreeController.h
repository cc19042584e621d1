// The page controllers of a B+ tree. A page does what its kind asks: a leaf page holds the
// entries themselves, a node page leads to child pages, so every page operation is answered by
// the leaf or the node controller according to the page's leaf flag. Controllers keep no state;
// what an operation needs besides the page comes with the tree context.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/ABSTypes.h"

namespace tabshift {

class TABSBTree;
class TABSBTreePage;
struct TABSBTreeProbe;

// The tree and the session of the running operation.
struct TABSBTreeContext {
  TABSBTree& tree;
  int32_t session;
};

// Which neighbour takes over the key range of a page that is merged away.
enum class TABSBTreeExtend { Left, Right };

// Where a bound search stops: at the first entry not below the probe, or not above it.
enum class TABSBTreeBound { Lower, Upper };

// What the integrity check learns about a subtree: its level links and its first and last
// leaf entries (key and reference).
struct TABSBTreeSubtreeBounds {
  bool empty = true;
  int32_t prev_page_no = -1;
  int32_t next_page_no = -1;
  std::vector<uint8_t> first;
  std::vector<uint8_t> last;
};

// The pages on the path of the integrity check and the depth every leaf must have.
struct TABSBTreeCheckState {
  std::vector<int32_t> on_path;
  int32_t leaf_depth = -1;
};

class TABSBTreePageController {
 public:
  virtual ~TABSBTreePageController() = default;

  // The probe against entry i: below zero when the probe sorts before it. Equal keys are told
  // apart by reference (leaf) or by the first entry of the child (node).
  virtual int CompareWithEntry(TABSBTreeContext& context, TABSBTreePage& page, int32_t i,
                               const TABSBTreeProbe& probe) const = 0;
  // Puts an entry at position i; true when the page now needs a split.
  virtual bool Insert(TABSBTreeContext& context, TABSBTreePage& page, int32_t i, const uint8_t* key,
                      const uint8_t* reference) const = 0;
  // Removes the entry the path points at on this page's level.
  virtual void Delete(TABSBTreeContext& context, TABSBTreePage& page, const TABSKeyPath& path,
                      int32_t level, TABSBTreeExtend extend) const = 0;
  // Gives back every page below this one.
  virtual void FreeSubtree(TABSBTreeContext& context, TABSBTreePage& page) const = 0;
  // Raises the first fault of this page and the pages below it.
  virtual TABSBTreeSubtreeBounds CheckIntegrity(TABSBTreeContext& context, TABSBTreePage& page,
                                                int32_t depth,
                                                TABSBTreeCheckState& state) const = 0;
  // Where the probe belongs: the insertion position in a leaf, the child to descend to in a
  // node.
  virtual int32_t FindEntry(TABSBTreeContext& context, TABSBTreePage& page,
                            const TABSBTreeProbe& probe) const = 0;
  virtual int32_t GoToFirst(const TABSBTreePage& page) const = 0;
  virtual int32_t GoToLast(const TABSBTreePage& page) const = 0;
  // Where a search by key alone (no reference) stops for the bound.
  virtual int32_t Seek(TABSBTreeContext& context, TABSBTreePage& page, const TABSBTreeProbe& probe,
                       TABSBTreeBound bound) const = 0;
  virtual void SetFirstKey(TABSBTreePage& page, const uint8_t* key) const = 0;
  virtual void SetLastKey(TABSBTreePage& page, const uint8_t* key) const = 0;
  // The first (last) leaf entry of the subtree, key then reference; false when it is empty.
  virtual bool GetFirstEntry(TABSBTreeContext& context, TABSBTreePage& page,
                             std::vector<uint8_t>& entry) const = 0;
  virtual bool GetLastEntry(TABSBTreeContext& context, TABSBTreePage& page,
                            std::vector<uint8_t>& entry) const = 0;
};

// A leaf page: entries are keys with the references of their owners, in key then reference
// order.
class TABSBTreeLeafController final : public TABSBTreePageController {
 public:
  int CompareWithEntry(TABSBTreeContext& context, TABSBTreePage& page, int32_t i,
                       const TABSBTreeProbe& probe) const override;
  bool Insert(TABSBTreeContext& context, TABSBTreePage& page, int32_t i, const uint8_t* key,
              const uint8_t* reference) const override;
  void Delete(TABSBTreeContext& context, TABSBTreePage& page, const TABSKeyPath& path,
              int32_t level, TABSBTreeExtend extend) const override;
  void FreeSubtree(TABSBTreeContext& context, TABSBTreePage& page) const override;
  TABSBTreeSubtreeBounds CheckIntegrity(TABSBTreeContext& context, TABSBTreePage& page,
                                        int32_t depth, TABSBTreeCheckState& state) const override;
  int32_t FindEntry(TABSBTreeContext& context, TABSBTreePage& page,
                    const TABSBTreeProbe& probe) const override;
  int32_t GoToFirst(const TABSBTreePage& page) const override;
  int32_t GoToLast(const TABSBTreePage& page) const override;
  int32_t Seek(TABSBTreeContext& context, TABSBTreePage& page, const TABSBTreeProbe& probe,
               TABSBTreeBound bound) const override;
  void SetFirstKey(TABSBTreePage& page, const uint8_t* key) const override;
  void SetLastKey(TABSBTreePage& page, const uint8_t* key) const override;
  bool GetFirstEntry(TABSBTreeContext& context, TABSBTreePage& page,
                     std::vector<uint8_t>& entry) const override;
  bool GetLastEntry(TABSBTreeContext& context, TABSBTreePage& page,
                    std::vector<uint8_t>& entry) const override;
};

// A node page: entry i leads to the child holding the keys from key i up to key i + 1; the key
// of entry 0 is not used by searches.
class TABSBTreeNodeController final : public TABSBTreePageController {
 public:
  int CompareWithEntry(TABSBTreeContext& context, TABSBTreePage& page, int32_t i,
                       const TABSBTreeProbe& probe) const override;
  bool Insert(TABSBTreeContext& context, TABSBTreePage& page, int32_t i, const uint8_t* key,
              const uint8_t* reference) const override;
  void Delete(TABSBTreeContext& context, TABSBTreePage& page, const TABSKeyPath& path,
              int32_t level, TABSBTreeExtend extend) const override;
  void FreeSubtree(TABSBTreeContext& context, TABSBTreePage& page) const override;
  TABSBTreeSubtreeBounds CheckIntegrity(TABSBTreeContext& context, TABSBTreePage& page,
                                        int32_t depth, TABSBTreeCheckState& state) const override;
  int32_t FindEntry(TABSBTreeContext& context, TABSBTreePage& page,
                    const TABSBTreeProbe& probe) const override;
  int32_t GoToFirst(const TABSBTreePage& page) const override;
  int32_t GoToLast(const TABSBTreePage& page) const override;
  int32_t Seek(TABSBTreeContext& context, TABSBTreePage& page, const TABSBTreeProbe& probe,
               TABSBTreeBound bound) const override;
  void SetFirstKey(TABSBTreePage& page, const uint8_t* key) const override;
  void SetLastKey(TABSBTreePage& page, const uint8_t* key) const override;
  bool GetFirstEntry(TABSBTreeContext& context, TABSBTreePage& page,
                     std::vector<uint8_t>& entry) const override;
  bool GetLastEntry(TABSBTreeContext& context, TABSBTreePage& page,
                    std::vector<uint8_t>& entry) const override;
};

}  // namespace tabshift
