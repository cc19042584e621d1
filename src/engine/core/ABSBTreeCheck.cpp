// The integrity check of a B+ tree: no page twice on a path and every page of the tree's key
// size, at the right place for its root flag; the page's controller checks the rest.
#include <algorithm>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTree.h"

namespace tabshift {

void TABSBTree::CheckIntegrity(int32_t session) {
  TABSBTreeCheckState state;
  CheckSubtree(session, RequireRoot(), 0, state);
}

TABSBTreeSubtreeBounds TABSBTree::CheckSubtree(int32_t session, int32_t page_no, int32_t depth,
                                               TABSBTreeCheckState& state) {
  if (std::find(state.on_path.begin(), state.on_path.end(), page_no) != state.on_path.end() ||
      depth >= TABSKeyPath::kMaxLevels) {
    throw EABSException(btree_error::kCircularLinks,
                        "Index integrity error. Circular links. PageNo=%d EntryNo=%d",
                        {page_no, 0});
  }
  state.on_path.push_back(page_no);
  TABSBTreePageRef page = PageRef(session, page_no);
  if (page->KeySize() != key_size_ || page->IsRoot() != (depth == 0)) {
    throw EABSException(btree_error::kIntegrity, "Index integrity error. PageNo=%d EntryNo=%d",
                        {page_no, 0});
  }
  TABSBTreeContext context{*this, session};
  TABSBTreeSubtreeBounds bounds = page->CheckIntegrity(context, depth, state);
  state.on_path.pop_back();
  return bounds;
}

}  // namespace tabshift
