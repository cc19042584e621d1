// The integrity check of a B+ tree: no page twice on a path, neighbouring children linked to
// each other, every leaf at the same depth, entries ascending within a page and every
// separator between the subtrees it divides.
#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTree.h"

namespace tabshift {

struct TABSBTree::SubtreeBounds {
  bool empty = true;
  int32_t prev_page_no = -1;
  int32_t next_page_no = -1;
  std::vector<uint8_t> first;  // key and reference of the first leaf entry
  std::vector<uint8_t> last;
};

namespace {

[[noreturn]] void RaiseIntegrity(int32_t code, const char* format, int32_t page_no,
                                 int32_t entry_no) {
  throw EABSException(code, format, {page_no, entry_no});
}

constexpr const char* kIntegrityFormat = "Index integrity error. PageNo=%d EntryNo=%d";

}  // namespace

void TABSBTree::CheckIntegrity(int32_t session) {
  std::vector<int32_t> on_path;
  int32_t leaf_depth = -1;
  CheckSubtree(session, RequireRoot(), 0, on_path, leaf_depth);
}

void TABSBTree::CheckPageOrder(TABSBTreePage& page) {
  const bool leaf = page.IsLeaf();
  for (int32_t i = leaf ? 1 : 2; i < page.Count(); ++i) {
    const int result = leaf ? order_.CompareStored(page.Key(i - 1), page.Reference(i - 1),
                                                   page.Key(i), page.Reference(i))
                            : order_.CompareStored(page.Key(i - 1), nullptr, page.Key(i), nullptr);
    if (leaf ? result >= 0 : result > 0) {
      RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page.PageNo(), i);
    }
  }
}

TABSBTree::SubtreeBounds TABSBTree::CheckSubtree(int32_t session, int32_t page_no, int32_t depth,
                                                 std::vector<int32_t>& on_path,
                                                 int32_t& leaf_depth) {
  if (std::find(on_path.begin(), on_path.end(), page_no) != on_path.end() ||
      depth >= TABSKeyPath::kMaxLevels) {
    RaiseIntegrity(btree_error::kCircularLinks,
                   "Index integrity error. Circular links. PageNo=%d EntryNo=%d", page_no, 0);
  }
  on_path.push_back(page_no);
  TABSBTreePageRef page(manager_, Fetch(session, page_no), reference_size_);
  if (page->KeySize() != key_size_ || page->IsRoot() != (depth == 0)) {
    RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page_no, 0);
  }
  CheckPageOrder(*page);
  SubtreeBounds bounds;
  bounds.prev_page_no = page->PrevPageNo();
  bounds.next_page_no = page->NextPageNo();
  const size_t entry_size = static_cast<size_t>(key_size_) + reference_size_;
  if (page->IsLeaf()) {
    if (leaf_depth < 0) leaf_depth = depth;
    if (depth != leaf_depth || (depth > 0 && page->Count() == 0)) {
      RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page_no, 0);
    }
    if (page->Count() > 0) {
      bounds.empty = false;
      bounds.first.assign(page->Key(0), page->Key(0) + entry_size);
      bounds.last.assign(page->Key(page->Count() - 1), page->Key(page->Count() - 1) + entry_size);
    }
    on_path.pop_back();
    return bounds;
  }
  if (page->Count() == 0) RaiseIntegrity(btree_error::kIntegrity, kIntegrityFormat, page_no, 0);
  SubtreeBounds before;
  int32_t before_page_no = -1;
  for (int32_t i = 0; i < page->Count(); ++i) {
    const int32_t child_page_no = page->ChildPageNo(i);
    SubtreeBounds child = CheckSubtree(session, child_page_no, depth + 1, on_path, leaf_depth);
    if (i > 0) {
      if (before.next_page_no != child_page_no || child.prev_page_no != before_page_no) {
        RaiseIntegrity(btree_error::kLeafLink,
                       "Index integrity error. Invlaid leaf link. PageNo=%d EntryNo=%d", page_no,
                       i);
      }
      const uint8_t* separator = page->Key(i);
      if ((!before.empty &&
           order_.CompareStored(before.last.data(), nullptr, separator, nullptr) > 0) ||
          (!child.empty &&
           order_.CompareStored(separator, nullptr, child.first.data(), nullptr) > 0) ||
          (!before.empty && !child.empty &&
           order_.CompareStored(before.last.data(), before.last.data() + key_size_,
                                child.first.data(), child.first.data() + key_size_) >= 0)) {
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
  on_path.pop_back();
  return bounds;
}

}  // namespace tabshift
