#include "engine/core/ABSBTreeController.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTree.h"

namespace tabshift {
namespace {

constexpr const char* kIntegrityFormat = "Index integrity error. PageNo=%d EntryNo=%d";

[[noreturn]] void RaiseIntegrity(int32_t code, const char* format, int32_t page_no,
                                 int32_t entry_no) {
  throw EABSException(code, format, {page_no, entry_no});
}

bool CopyEntry(const TABSBTreePage& page, int32_t i, std::vector<uint8_t>& entry) {
  if (page.Count() == 0) return false;
  entry.assign(page.Key(i), page.Key(i) + page.EntrySize());
  return true;
}

}  // namespace

// ---- leaf pages ----

int TABSBTreeLeafController::CompareWithEntry(TABSBTreeContext& context, TABSBTreePage& page,
                                              int32_t i, const TABSBTreeProbe& probe) const {
  return context.tree.order_.CompareEntry(probe, page.Key(i), page.Reference(i));
}

bool TABSBTreeLeafController::Insert(TABSBTreeContext&, TABSBTreePage& page, int32_t i,
                                     const uint8_t* key, const uint8_t* reference) const {
  page.InsertEntry(i, key, reference);
  page.MarkDirty();
  return page.Overflows();
}

// Deleting from a leaf alone never changes separators.
void TABSBTreeLeafController::Delete(TABSBTreeContext&, TABSBTreePage& page,
                                     const TABSKeyPath& path, int32_t level,
                                     TABSBTreeExtend) const {
  page.RemoveEntries(path.levels[level].position, 1);
  page.MarkDirty();
}

void TABSBTreeLeafController::FreeSubtree(TABSBTreeContext&, TABSBTreePage&) const {}

TABSBTreeSubtreeBounds TABSBTreeLeafController::CheckIntegrity(TABSBTreeContext& context,
                                                               TABSBTreePage& page, int32_t depth,
                                                               TABSBTreeCheckState& state) const {
  const TABSBTreeOrder& order = context.tree.order_;
  for (int32_t i = 1; i < page.Count(); ++i) {
    if (order.CompareStored(page.Key(i - 1), page.Reference(i - 1), page.Key(i),
                            page.Reference(i)) >= 0) {
      RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page.PageNo(), i);
    }
  }
  if (state.leaf_depth < 0) state.leaf_depth = depth;
  if (depth != state.leaf_depth || (depth > 0 && page.Count() == 0)) {
    RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page.PageNo(), 0);
  }
  TABSBTreeSubtreeBounds bounds;
  bounds.prev_page_no = page.PrevPageNo();
  bounds.next_page_no = page.NextPageNo();
  bounds.empty = !GetFirstEntry(context, page, bounds.first);
  GetLastEntry(context, page, bounds.last);
  return bounds;
}

int32_t TABSBTreeLeafController::FindEntry(TABSBTreeContext& context, TABSBTreePage& page,
                                           const TABSBTreeProbe& probe) const {
  int32_t low = 0;
  int32_t high = page.Count();
  while (low < high) {
    const int32_t middle = (low + high) / 2;
    if (CompareWithEntry(context, page, middle, probe) > 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

int32_t TABSBTreeLeafController::GoToFirst(const TABSBTreePage&) const {
  return 0;
}

// An empty root leaf still gives position 0.
int32_t TABSBTreeLeafController::GoToLast(const TABSBTreePage& page) const {
  return std::max(page.Count() - 1, 0);
}

int32_t TABSBTreeLeafController::Seek(TABSBTreeContext& context, TABSBTreePage& page,
                                      const TABSBTreeProbe& probe, TABSBTreeBound bound) const {
  const bool upper = bound == TABSBTreeBound::Upper;
  int32_t low = 0;
  int32_t high = page.Count();
  while (low < high) {
    const int32_t middle = (low + high) / 2;
    const int result = context.tree.order_.CompareKey(probe, page.Key(middle));
    if (upper ? result >= 0 : result > 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

void TABSBTreeLeafController::SetFirstKey(TABSBTreePage& page, const uint8_t* key) const {
  std::memcpy(page.Key(0), key, page.KeySize());
}

void TABSBTreeLeafController::SetLastKey(TABSBTreePage& page, const uint8_t* key) const {
  std::memcpy(page.Key(page.Count() - 1), key, page.KeySize());
}

bool TABSBTreeLeafController::GetFirstEntry(TABSBTreeContext&, TABSBTreePage& page,
                                            std::vector<uint8_t>& entry) const {
  return CopyEntry(page, 0, entry);
}

bool TABSBTreeLeafController::GetLastEntry(TABSBTreeContext&, TABSBTreePage& page,
                                           std::vector<uint8_t>& entry) const {
  return CopyEntry(page, page.Count() - 1, entry);
}

// ---- node pages ----

// A separator equal to the probe is settled against the first entry of the subtree it leads
// to; an empty subtree starts above every probe.
int TABSBTreeNodeController::CompareWithEntry(TABSBTreeContext& context, TABSBTreePage& page,
                                              int32_t i, const TABSBTreeProbe& probe) const {
  const TABSBTreeOrder& order = context.tree.order_;
  const int result = order.CompareKey(probe, page.Key(i));
  if (result != 0) return result;
  std::vector<uint8_t> first;
  TABSBTreePageRef child = context.tree.PageRef(context.session, page.ChildPageNo(i));
  if (!child->GetFirstEntry(context, first)) return 1;
  return order.CompareEntry(probe, first.data(), first.data() + page.KeySize());
}

// Entry 0 always leads to the leftmost child; a new child can only come after it.
bool TABSBTreeNodeController::Insert(TABSBTreeContext&, TABSBTreePage& page, int32_t i,
                                     const uint8_t* key, const uint8_t* reference) const {
  if (i <= 0) throw EABSException(btree_error::kInternal, "Internal index error");
  page.InsertEntry(i, key, reference);
  page.MarkDirty();
  return page.Overflows();
}

// Removes the entry of a child whose keys went to a neighbour. With Extend::Left the neighbour
// before it takes over its key range, with Extend::Right the one after it; the separators that
// bound the range move accordingly.
void TABSBTreeNodeController::Delete(TABSBTreeContext& context, TABSBTreePage& page,
                                     const TABSKeyPath& path, int32_t level,
                                     TABSBTreeExtend extend) const {
  const int32_t position = path.levels[level].position;
  const int32_t count = page.Count();
  if (extend == TABSBTreeExtend::Left && position == 0 && count > 1) {
    context.tree.SetLowerSeparator(context.session, path, level, page.Key(1));
  } else if (extend == TABSBTreeExtend::Right && position > 0) {
    if (position + 1 < count) {
      std::memcpy(page.Key(position + 1), page.Key(position), page.KeySize());
    } else {
      context.tree.SetUpperSeparator(context.session, path, level, page.Key(position));
    }
  }
  page.RemoveEntries(position, 1);
  page.MarkDirty();
}

void TABSBTreeNodeController::FreeSubtree(TABSBTreeContext& context, TABSBTreePage& page) const {
  for (int32_t i = 0; i < page.Count(); ++i) {
    context.tree.FreeSubtree(context.session, page.ChildPageNo(i));
  }
}

TABSBTreeSubtreeBounds TABSBTreeNodeController::CheckIntegrity(TABSBTreeContext& context,
                                                               TABSBTreePage& page, int32_t depth,
                                                               TABSBTreeCheckState& state) const {
  const TABSBTreeOrder& order = context.tree.order_;
  const int32_t page_no = page.PageNo();
  // The first key of a node is not used by searches and takes no part in the order.
  for (int32_t i = 2; i < page.Count(); ++i) {
    if (order.CompareStored(page.Key(i - 1), nullptr, page.Key(i), nullptr) > 0) {
      RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page_no, i);
    }
  }
  if (page.Count() == 0) RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page_no, 0);
  TABSBTreeSubtreeBounds bounds;
  bounds.prev_page_no = page.PrevPageNo();
  bounds.next_page_no = page.NextPageNo();
  const uint16_t key_size = page.KeySize();
  TABSBTreeSubtreeBounds before;
  int32_t before_page_no = -1;
  for (int32_t i = 0; i < page.Count(); ++i) {
    const int32_t child_page_no = page.ChildPageNo(i);
    TABSBTreeSubtreeBounds child =
        context.tree.CheckSubtree(context.session, child_page_no, depth + 1, state);
    if (i > 0) {
      if (before.next_page_no != child_page_no || child.prev_page_no != before_page_no) {
        RaiseIntegrity(btree_error::kLeafLink,
                       "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d", page_no,
                       i);
      }
      const uint8_t* separator = page.Key(i);
      if ((!before.empty &&
           order.CompareStored(before.last.data(), nullptr, separator, nullptr) > 0) ||
          (!child.empty &&
           order.CompareStored(separator, nullptr, child.first.data(), nullptr) > 0) ||
          (!before.empty && !child.empty &&
           order.CompareStored(before.last.data(), before.last.data() + key_size,
                               child.first.data(), child.first.data() + key_size) >= 0)) {
        RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page_no, i);
      }
    }
    if (!child.empty) {
      if (bounds.empty) bounds.first = child.first;
      bounds.empty = false;
      bounds.last = child.last;
    }
    before = std::move(child);
    before_page_no = child_page_no;
  }
  return bounds;
}

// The last child whose subtree starts at or below the probe.
int32_t TABSBTreeNodeController::FindEntry(TABSBTreeContext& context, TABSBTreePage& page,
                                           const TABSBTreeProbe& probe) const {
  int32_t low = 1;
  int32_t high = page.Count() - 1;
  int32_t child = 0;
  while (low <= high) {
    const int32_t middle = (low + high) / 2;
    if (CompareWithEntry(context, page, middle, probe) >= 0) {
      child = middle;
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  return child;
}

int32_t TABSBTreeNodeController::GoToFirst(const TABSBTreePage&) const {
  return 0;
}

int32_t TABSBTreeNodeController::GoToLast(const TABSBTreePage& page) const {
  return std::max(page.Count() - 1, 0);
}

int32_t TABSBTreeNodeController::Seek(TABSBTreeContext& context, TABSBTreePage& page,
                                      const TABSBTreeProbe& probe, TABSBTreeBound bound) const {
  const bool upper = bound == TABSBTreeBound::Upper;
  int32_t low = 1;
  int32_t high = page.Count() - 1;
  int32_t child = 0;
  while (low <= high) {
    const int32_t middle = (low + high) / 2;
    const int result = context.tree.order_.CompareKey(probe, page.Key(middle));
    if (upper ? result >= 0 : result > 0) {
      child = middle;
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  return child;
}

// Gives the unused first key its real separator, as a node needs once it is merged behind
// another.
void TABSBTreeNodeController::SetFirstKey(TABSBTreePage& page, const uint8_t* key) const {
  std::memcpy(page.Key(0), key, page.KeySize());
}

void TABSBTreeNodeController::SetLastKey(TABSBTreePage& page, const uint8_t* key) const {
  std::memcpy(page.Key(page.Count() - 1), key, page.KeySize());
}

bool TABSBTreeNodeController::GetFirstEntry(TABSBTreeContext& context, TABSBTreePage& page,
                                            std::vector<uint8_t>& entry) const {
  if (page.Count() == 0) return false;
  TABSBTreePageRef child = context.tree.PageRef(context.session, page.ChildPageNo(0));
  return child->GetFirstEntry(context, entry);
}

bool TABSBTreeNodeController::GetLastEntry(TABSBTreeContext& context, TABSBTreePage& page,
                                           std::vector<uint8_t>& entry) const {
  if (page.Count() == 0) return false;
  TABSBTreePageRef child =
      context.tree.PageRef(context.session, page.ChildPageNo(page.Count() - 1));
  return child->GetLastEntry(context, entry);
}

}  // namespace tabshift
