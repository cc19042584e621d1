#include "engine/core/ABSBTree.h"

#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {

TABSBTree::TABSBTree(TABSPageManager& manager, uint16_t key_size, uint16_t reference_size,
                     const TABSBTreeOrder& order)
    : manager_(manager), key_size_(key_size), reference_size_(reference_size), order_(order) {}

TABSPage* TABSBTree::Fetch(int32_t session, int32_t page_no) {
  if (page_no < 0) {
    throw EABSException(btree_error::kInvalidIndexPageNo, "Index error: invalid page number");
  }
  return manager_.GetPage(session, page_no, true, kTableIndexPageType);
}

TABSPage* TABSBTree::Add(int32_t session) {
  return manager_.AddPage(session, kTableIndexPageType);
}

int32_t TABSBTree::RequireRoot() const {
  if (root_page_no_ < 0) throw EABSException(btree_error::kNoRoot, "Invalid page number");
  return root_page_no_;
}

void TABSBTree::CreateRoot(int32_t session) {
  TABSBTreePageRef root(manager_, Add(session), reference_size_);
  root->Initialise(true, true, key_size_);
  root.Modified();
  root_page_no_ = root->PageNo();
}

void TABSBTree::FreeSubtree(int32_t session, int32_t page_no) {
  {
    TABSBTreePageRef page = PageRef(session, page_no);
    TABSBTreeContext context{*this, session};
    page->FreeSubtree(context);
  }
  manager_.DeletePage(session, page_no);
}

void TABSBTree::Free(int32_t session) {
  FreeSubtree(session, RequireRoot());
  root_page_no_ = -1;
}

void TABSBTree::Clear(int32_t session) {
  TABSBTreePageRef root = PageRef(session, RequireRoot());
  TABSBTreeContext context{*this, session};
  root->FreeSubtree(context);
  root->Initialise(true, true, key_size_);
  root.Modified();
}

// ---- searching ----

void TABSBTree::SetLevel(TABSKeyPath& path, int32_t level, int32_t page_no, int32_t position,
                         int32_t count) {
  if (level >= TABSKeyPath::kMaxLevels) {
    throw EABSException(btree_error::kInvalidPath, "Invalid index key path");
  }
  path.levels[level] = {page_no, position, count};
  path.depth = level + 1;
  path.current_level = level;
}

void TABSBTree::DescendExact(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path) {
  TABSBTreeContext context{*this, session};
  int32_t page_no = RequireRoot();
  for (int32_t level = 0;; ++level) {
    TABSBTreePageRef page = PageRef(session, page_no);
    const int32_t position = page->FindEntry(context, probe);
    SetLevel(path, level, page_no, position, page->Count());
    if (page->IsLeaf()) return;
    page_no = page->ChildPageNo(position);
  }
}

bool TABSBTree::DescendBound(int32_t session, const TABSBTreeProbe& probe, bool upper,
                             TABSKeyPath& path) {
  TABSBTreeContext context{*this, session};
  const TABSBTreeBound bound = upper ? TABSBTreeBound::Upper : TABSBTreeBound::Lower;
  int32_t page_no = RequireRoot();
  for (int32_t level = 0;; ++level) {
    TABSBTreePageRef page = PageRef(session, page_no);
    const int32_t position = page->Seek(context, probe, bound);
    SetLevel(path, level, page_no, position, page->Count());
    if (page->IsLeaf()) {
      if (position < page->Count()) return true;
      if (page->Count() == 0) return false;
      path.levels[level].position = page->Count() - 1;
      break;
    }
    page_no = page->ChildPageNo(position);
  }
  return StepNext(session, path);
}

void TABSBTree::DescendEdge(int32_t session, bool last, TABSKeyPath& path) {
  int32_t page_no = RequireRoot();
  for (int32_t level = 0;; ++level) {
    TABSBTreePageRef page = PageRef(session, page_no);
    const int32_t position = last ? page->GoToLast() : page->GoToFirst();
    SetLevel(path, level, page_no, position, page->Count());
    if (page->IsLeaf()) return;
    page_no = page->ChildPageNo(position);
  }
}

bool TABSBTree::FindEntry(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path) {
  DescendExact(session, probe, path);
  const TABSKeyPathLevel& leaf_level = path.levels[path.depth - 1];
  if (leaf_level.position >= leaf_level.entry_count) return false;
  TABSBTreePageRef leaf = PageRef(session, leaf_level.page_no);
  TABSBTreeContext context{*this, session};
  return leaf->CompareWithEntry(context, leaf_level.position, probe) == 0;
}

bool TABSBTree::Seek(int32_t session, const TABSBTreeProbe& probe, TABSSeekOperator op,
                     bool towards_last, TABSKeyPath& path) {
  const TABSBTreeProbe by_key{probe.key, nullptr, probe.full_key};
  std::vector<uint8_t> key(key_size_);
  const auto key_matches = [&] {
    ReadEntry(session, path, key.data(), nullptr);
    return order_.CompareKey(by_key, key.data()) == 0;
  };
  switch (op) {
    case TABSSeekOperator::Equal:
      if (towards_last) {
        if (!DescendBound(session, by_key, true, path)) return Last(session, path) && key_matches();
        return StepPrior(session, path) && key_matches();
      }
      return DescendBound(session, by_key, false, path) && key_matches();
    case TABSSeekOperator::Greater:
    case TABSSeekOperator::GreaterOrEqual:
      if (!DescendBound(session, by_key, op == TABSSeekOperator::Greater, path)) return false;
      return !towards_last || Last(session, path);
    case TABSSeekOperator::Less:
    case TABSSeekOperator::LessOrEqual: {
      const bool upper = op == TABSSeekOperator::LessOrEqual;
      const bool found_bound = DescendBound(session, by_key, upper, path);
      const bool any = found_bound ? StepPrior(session, path) : Last(session, path);
      return any && (towards_last || First(session, path));
    }
  }
  return false;
}

// ---- walking ----

bool TABSBTree::First(int32_t session, TABSKeyPath& path) {
  DescendEdge(session, false, path);
  return path.levels[path.depth - 1].entry_count > 0;
}

bool TABSBTree::Last(int32_t session, TABSKeyPath& path) {
  DescendEdge(session, true, path);
  return path.levels[path.depth - 1].entry_count > 0;
}

bool TABSBTree::StepNext(int32_t session, TABSKeyPath& path) {
  const int32_t leaf = path.depth - 1;
  if (path.levels[leaf].position + 1 < path.levels[leaf].entry_count) {
    ++path.levels[leaf].position;
    return true;
  }
  int32_t level = leaf - 1;
  while (level >= 0 && path.levels[level].position + 1 >= path.levels[level].entry_count) --level;
  if (level < 0) return false;
  ++path.levels[level].position;
  for (int32_t below = level + 1; below <= leaf; ++below) {
    int32_t next;
    {
      TABSBTreePageRef page(manager_, Fetch(session, path.levels[below].page_no), reference_size_);
      next = page->NextPageNo();
    }
    TABSBTreePageRef page(manager_, Fetch(session, next), reference_size_);
    path.levels[below] = {next, 0, page->Count()};
  }
  return path.levels[leaf].entry_count > 0;
}

bool TABSBTree::StepPrior(int32_t session, TABSKeyPath& path) {
  const int32_t leaf = path.depth - 1;
  if (path.levels[leaf].position > 0) {
    --path.levels[leaf].position;
    return true;
  }
  int32_t level = leaf - 1;
  while (level >= 0 && path.levels[level].position == 0) --level;
  if (level < 0) return false;
  --path.levels[level].position;
  for (int32_t below = level + 1; below <= leaf; ++below) {
    int32_t prior;
    {
      TABSBTreePageRef page(manager_, Fetch(session, path.levels[below].page_no), reference_size_);
      prior = page->PrevPageNo();
    }
    TABSBTreePageRef page(manager_, Fetch(session, prior), reference_size_);
    path.levels[below] = {prior, page->Count() - 1, page->Count()};
  }
  return path.levels[leaf].position >= 0;
}

bool TABSBTree::Next(int32_t session, TABSKeyPath& path) {
  return StepNext(session, path);
}

bool TABSBTree::Prior(int32_t session, TABSKeyPath& path) {
  return StepPrior(session, path);
}

void TABSBTree::ReadEntry(int32_t session, const TABSKeyPath& path, uint8_t* key,
                          uint8_t* reference) {
  if (path.depth <= 0) throw EABSException(btree_error::kInvalidPath, "Invalid index key path");
  const TABSKeyPathLevel& level = path.levels[path.depth - 1];
  TABSBTreePageRef leaf(manager_, Fetch(session, level.page_no), reference_size_);
  if (!leaf->IsLeaf()) throw EABSException(btree_error::kInternal, "Internal index error");
  if (level.position < 0 || level.position >= leaf->Count()) {
    throw EABSException(btree_error::kInvalidPosition, "Index error: invalid position");
  }
  if (key != nullptr) std::memcpy(key, leaf->Key(level.position), key_size_);
  if (reference != nullptr) {
    std::memcpy(reference, leaf->Reference(level.position), reference_size_);
  }
}

void TABSBTree::WriteReference(int32_t session, const TABSKeyPath& path, const uint8_t* reference) {
  const TABSKeyPathLevel& level = path.levels[path.depth - 1];
  TABSBTreePageRef leaf(manager_, Fetch(session, level.page_no), reference_size_);
  if (level.position < 0 || level.position >= leaf->Count()) {
    throw EABSException(btree_error::kInvalidPosition, "Index error: invalid position");
  }
  std::memcpy(leaf->Reference(level.position), reference, reference_size_);
  leaf.Modified();
}

int64_t TABSBTree::Ordinal(int32_t session, const TABSKeyPath& path) {
  const TABSKeyPathLevel& level = path.levels[path.depth - 1];
  int64_t ordinal = level.position;
  int32_t page_no;
  {
    TABSBTreePageRef leaf(manager_, Fetch(session, level.page_no), reference_size_);
    page_no = leaf->PrevPageNo();
  }
  while (page_no >= 0) {
    TABSBTreePageRef leaf(manager_, Fetch(session, page_no), reference_size_);
    ordinal += leaf->Count();
    page_no = leaf->PrevPageNo();
  }
  return ordinal;
}

bool TABSBTree::EntryAtOrdinal(int32_t session, int64_t ordinal, uint8_t* key, uint8_t* reference) {
  TABSKeyPath path;
  if (!First(session, path)) {
    throw EABSException(btree_error::kEmptyIndex, "Cannot retrieve record from empty index");
  }
  if (ordinal < 0) return false;
  int32_t page_no = path.levels[path.depth - 1].page_no;
  while (page_no >= 0) {
    TABSBTreePageRef leaf(manager_, Fetch(session, page_no), reference_size_);
    if (ordinal < leaf->Count()) {
      const int32_t position = static_cast<int32_t>(ordinal);
      if (key != nullptr) std::memcpy(key, leaf->Key(position), key_size_);
      if (reference != nullptr) std::memcpy(reference, leaf->Reference(position), reference_size_);
      return true;
    }
    ordinal -= leaf->Count();
    page_no = leaf->NextPageNo();
  }
  return false;
}

double TABSBTree::Fraction(const TABSKeyPath& path) {
  double fraction = 0;
  double scale = 1;
  for (int32_t level = 0; level < path.depth; ++level) {
    const TABSKeyPathLevel& at = path.levels[level];
    if (at.entry_count <= 0) break;
    scale *= at.entry_count;
    fraction += at.position / scale;
  }
  return fraction;
}

int64_t TABSBTree::Count(int32_t session) {
  TABSKeyPath path;
  DescendEdge(session, false, path);
  int64_t count = 0;
  int32_t page_no = path.levels[path.depth - 1].page_no;
  while (page_no >= 0) {
    TABSBTreePageRef leaf(manager_, Fetch(session, page_no), reference_size_);
    count += leaf->Count();
    page_no = leaf->NextPageNo();
  }
  return count;
}

int32_t TABSBTree::Depth(int32_t session) {
  TABSKeyPath path;
  DescendEdge(session, false, path);
  return path.depth;
}

}  // namespace tabshift
