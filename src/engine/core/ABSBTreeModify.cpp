// Inserting and deleting entries of a B+ tree: splits on the way up after an insert, merges
// with a neighbour on the same level and separator repair after a delete.
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTree.h"

namespace tabshift {

void TABSBTree::Insert(int32_t session, const TABSBTreeProbe& probe) {
  TABSKeyPath path;
  DescendExact(session, probe, path);
  const int32_t leaf_level = path.depth - 1;
  bool overflows;
  {
    TABSBTreePageRef leaf(manager_, Fetch(session, path.levels[leaf_level].page_no),
                          reference_size_);
    TABSBTreeContext context{*this, session};
    overflows = leaf->Insert(context, path.levels[leaf_level].position, probe.key, probe.reference);
  }
  if (overflows) Split(session, path, leaf_level);
}

void TABSBTree::SplitRoot(int32_t session, TABSBTreePageRef& root) {
  const int32_t count = root->Count();
  const int32_t half = count / 2;
  TABSBTreePageRef first(manager_, Add(session), reference_size_);
  TABSBTreePageRef second(manager_, Add(session), reference_size_);
  for (TABSBTreePageRef* part : {&first, &second}) {
    (*part)->CopyHeaderFrom(*root);
    (*part)->SetRoot(false);
    (*part)->SetCount(0);
    part->Modified();
  }
  first->AppendFrom(*root, 0, half);
  second->AppendFrom(*root, half, count - half);
  first->SetNextPageNo(second->PageNo());
  second->SetPrevPageNo(first->PageNo());

  std::vector<uint8_t> zero_key(key_size_, 0);
  int32_t page_no = first->PageNo();
  root->SetCount(0);
  root->SetLeaf(false);
  root->InsertEntry(0, zero_key.data(), reinterpret_cast<const uint8_t*>(&page_no));
  page_no = second->PageNo();
  root->InsertEntry(1, second->Key(0), reinterpret_cast<const uint8_t*>(&page_no));
  root.Modified();
}

void TABSBTree::Split(int32_t session, TABSKeyPath& path, int32_t level) {
  std::vector<uint8_t> separator(key_size_);
  int32_t new_page_no;
  {
    TABSBTreePageRef page(manager_, Fetch(session, path.levels[level].page_no), reference_size_);
    if (page->IsRoot()) {
      SplitRoot(session, page);
      return;
    }
    const int32_t count = page->Count();
    const int32_t half = count / 2;
    TABSBTreePageRef added(manager_, Add(session), reference_size_);
    added->CopyHeaderFrom(*page);
    added->SetCount(0);
    added->AppendFrom(*page, half, count - half);
    page->SetCount(half);
    added->SetPrevPageNo(page->PageNo());
    added->SetNextPageNo(page->NextPageNo());
    if (page->NextPageNo() >= 0) {
      TABSBTreePageRef next(manager_, Fetch(session, page->NextPageNo()), reference_size_);
      next->SetPrevPageNo(added->PageNo());
      next.Modified();
    }
    page->SetNextPageNo(added->PageNo());
    page.Modified();
    added.Modified();
    std::memcpy(separator.data(), added->Key(0), key_size_);
    new_page_no = added->PageNo();
  }
  bool overflows;
  {
    TABSBTreePageRef parent(manager_, Fetch(session, path.levels[level - 1].page_no),
                            reference_size_);
    TABSBTreeContext context{*this, session};
    overflows = parent->Insert(context, path.levels[level - 1].position + 1, separator.data(),
                               reinterpret_cast<const uint8_t*>(&new_page_no));
  }
  if (overflows) Split(session, path, level - 1);
}

bool TABSBTree::Delete(int32_t session, const TABSBTreeProbe& probe) {
  TABSKeyPath path;
  if (!FindEntry(session, probe, path)) return false;
  const int32_t leaf_level = path.depth - 1;
  {
    TABSBTreePageRef leaf(manager_, Fetch(session, path.levels[leaf_level].page_no),
                          reference_size_);
    TABSBTreeContext context{*this, session};
    leaf->Delete(context, path, leaf_level, TABSBTreeExtend::Left);
  }
  Rebalance(session, path, leaf_level);
  return true;
}

void TABSBTree::Rebalance(int32_t session, TABSKeyPath& path, int32_t level) {
  bool root;
  bool underflows;
  {
    TABSBTreePageRef page(manager_, Fetch(session, path.levels[level].page_no), reference_size_);
    root = page->IsRoot();
    underflows = page->Underflows();
  }
  if (root) {
    CollapseRoot(session);
    return;
  }
  if (underflows && !MergeIntoPrior(session, path, level)) MergeIntoNext(session, path, level);
}

// A root node with one child takes over the child's entries; the tree loses a level.
void TABSBTree::CollapseRoot(int32_t session) {
  for (;;) {
    TABSBTreePageRef root(manager_, Fetch(session, root_page_no_), reference_size_);
    if (root->IsLeaf() || root->Count() != 1) return;
    const int32_t child_page_no = root->ChildPageNo(0);
    {
      TABSBTreePageRef child(manager_, Fetch(session, child_page_no), reference_size_);
      root->CopyHeaderFrom(*child);
      root->SetRoot(true);
      root->SetCount(0);
      root->AppendFrom(*child, 0, child->Count());
      root->SetPrevPageNo(-1);
      root->SetNextPageNo(-1);
      root.Modified();
    }
    manager_.DeletePage(session, child_page_no);
  }
}

namespace {

bool FitsTogether(TABSBTreePage& page, TABSBTreePage& neighbour) {
  return page.Count() == 0 ||
         (page.Count() + neighbour.Count()) * page.EntrySize() + kBTreeHeaderSize <
             page.UsableSize();
}

}  // namespace

bool TABSBTree::MergeIntoPrior(int32_t session, TABSKeyPath& path, int32_t level) {
  const int32_t page_no = path.levels[level].page_no;
  int32_t prior_page_no;
  int32_t next_page_no;
  {
    TABSBTreePageRef page(manager_, Fetch(session, page_no), reference_size_);
    prior_page_no = page->PrevPageNo();
    if (prior_page_no < 0) return false;
    TABSBTreePageRef prior(manager_, Fetch(session, prior_page_no), reference_size_);
    if (!FitsTogether(*page, *prior)) return false;
    // The first key of a node is not used by searches; inside the neighbour it must be real.
    if (!page->IsLeaf() && page->Count() > 0) {
      const std::vector<uint8_t> lower = LowerSeparator(session, path, level);
      page->SetFirstKey(lower.data());
    }
    prior->AppendFrom(*page, 0, page->Count());
    prior.Modified();
    next_page_no = page->NextPageNo();
  }
  Unlink(session, prior_page_no, next_page_no);
  manager_.DeletePage(session, page_no);
  RemoveChildEntry(session, path, level - 1, TABSBTreeExtend::Left);
  return true;
}

bool TABSBTree::MergeIntoNext(int32_t session, TABSKeyPath& path, int32_t level) {
  const int32_t page_no = path.levels[level].page_no;
  int32_t prior_page_no;
  int32_t next_page_no;
  {
    TABSBTreePageRef page(manager_, Fetch(session, page_no), reference_size_);
    next_page_no = page->NextPageNo();
    if (next_page_no < 0) return false;
    TABSBTreePageRef next(manager_, Fetch(session, next_page_no), reference_size_);
    if (!FitsTogether(*page, *next)) return false;
    if (!next->IsLeaf() && next->Count() > 0) {
      const std::vector<uint8_t> upper = UpperSeparator(session, path, level);
      next->SetFirstKey(upper.data());
    }
    next->PrependFrom(*page);
    next.Modified();
    prior_page_no = page->PrevPageNo();
  }
  Unlink(session, prior_page_no, next_page_no);
  manager_.DeletePage(session, page_no);
  RemoveChildEntry(session, path, level - 1, TABSBTreeExtend::Right);
  return true;
}

void TABSBTree::Unlink(int32_t session, int32_t prior_page_no, int32_t next_page_no) {
  if (prior_page_no >= 0) {
    TABSBTreePageRef prior(manager_, Fetch(session, prior_page_no), reference_size_);
    prior->SetNextPageNo(next_page_no);
    prior.Modified();
  }
  if (next_page_no >= 0) {
    TABSBTreePageRef next(manager_, Fetch(session, next_page_no), reference_size_);
    next->SetPrevPageNo(prior_page_no);
    next.Modified();
  }
}

// Removes the entry of a child whose keys went to a neighbour; a node left without entries
// goes too, and its own entry with it.
void TABSBTree::RemoveChildEntry(int32_t session, TABSKeyPath& path, int32_t level,
                                 TABSBTreeExtend extend) {
  const int32_t page_no = path.levels[level].page_no;
  int32_t prior_page_no = -1;
  int32_t next_page_no = -1;
  bool emptied = false;
  {
    TABSBTreePageRef node = PageRef(session, page_no);
    if (!node->IsRoot() && node->Count() == 1) {
      emptied = true;
      prior_page_no = node->PrevPageNo();
      next_page_no = node->NextPageNo();
    } else {
      TABSBTreeContext context{*this, session};
      node->Delete(context, path, level, extend);
    }
  }
  if (emptied) {
    Unlink(session, prior_page_no, next_page_no);
    manager_.DeletePage(session, page_no);
    RemoveChildEntry(session, path, level - 1, extend);
    return;
  }
  Rebalance(session, path, level);
}

namespace {

const TABSKeyPathLevel* LowerSeparatorLevel(const TABSKeyPath& path, int32_t level) {
  for (int32_t l = level - 1; l >= 0; --l) {
    if (path.levels[l].position > 0) return &path.levels[l];
  }
  return nullptr;
}

}  // namespace

std::vector<uint8_t> TABSBTree::LowerSeparator(int32_t session, const TABSKeyPath& path,
                                               int32_t level) {
  const TABSKeyPathLevel* at = LowerSeparatorLevel(path, level);
  if (at == nullptr) throw EABSException(btree_error::kInternal, "Internal index error");
  TABSBTreePageRef node(manager_, Fetch(session, at->page_no), reference_size_);
  return std::vector<uint8_t>(node->Key(at->position), node->Key(at->position) + key_size_);
}

void TABSBTree::SetLowerSeparator(int32_t session, const TABSKeyPath& path, int32_t level,
                                  const uint8_t* key) {
  const TABSKeyPathLevel* at = LowerSeparatorLevel(path, level);
  if (at == nullptr) return;  // the leftmost subtree has no lower separator
  TABSBTreePageRef node(manager_, Fetch(session, at->page_no), reference_size_);
  std::memcpy(node->Key(at->position), key, key_size_);
  node.Modified();
}

std::vector<uint8_t> TABSBTree::UpperSeparator(int32_t session, const TABSKeyPath& path,
                                               int32_t level) {
  for (int32_t l = level - 1; l >= 0; --l) {
    TABSBTreePageRef node(manager_, Fetch(session, path.levels[l].page_no), reference_size_);
    const int32_t position = path.levels[l].position;
    if (position + 1 < node->Count()) {
      return std::vector<uint8_t>(node->Key(position + 1), node->Key(position + 1) + key_size_);
    }
  }
  throw EABSException(btree_error::kInternal, "Internal index error");
}

void TABSBTree::SetUpperSeparator(int32_t session, const TABSKeyPath& path, int32_t level,
                                  const uint8_t* key) {
  for (int32_t l = level - 1; l >= 0; --l) {
    TABSBTreePageRef node(manager_, Fetch(session, path.levels[l].page_no), reference_size_);
    const int32_t position = path.levels[l].position;
    if (position + 1 < node->Count()) {
      std::memcpy(node->Key(position + 1), key, key_size_);
      node.Modified();
      return;
    }
  }
}

}  // namespace tabshift
