#include "engine/disk/ABSSortedPageList.h"

#include <algorithm>
#include <cstring>

#include "engine/access/ABSExcept.h"
#include "engine/disk/ABSPage.h"
#include "framework/Exception.h"

namespace tabshift {
namespace {

// Moves `count` items within one array; nothing to do for none, where the array may be null.
template <typename T>
void MoveItems(T* to, const T* from, size_t count) {
  if (count > 0) std::memmove(to, from, count * sizeof(T));
}

}  // namespace

TABSPage* TABSSortedPageList::Find(int32_t page_no) const {
  const int32_t index = LowerBound(page_no);
  return index < count_ && Keys()[index] == page_no ? Entries()[index].page : nullptr;
}

void TABSSortedPageList::Insert(TABSPage* page) {
  const int32_t index = LowerBound(page->PageNo());
  if (index < count_ && Keys()[index] == page->PageNo()) {
    throw EAssertionFailed("Page listed twice", "ABSSortedPageList", __LINE__);
  }
  if (count_ == capacity_) Grow(count_ + 1);
  const size_t tail = static_cast<size_t>(count_ - index);
  MoveItems(Keys() + index + 1, Keys() + index, tail);
  MoveItems(Entries() + index + 1, Entries() + index, tail);
  Keys()[index] = page->PageNo();
  Entries()[index] = Entry{page, ++stamp_counter_};
  ++count_;
}

void TABSSortedPageList::Delete(int32_t page_no) {
  if (count_ == 0) {
    RaiseEngineError(page_error::kDeleteFromEmptyList,
                     "TSortedPageList.Delete - no elements in array!");
  }
  const int32_t index = LowerBound(page_no);
  if (index == count_ || Keys()[index] != page_no) {
    RaiseEngineErrorFmt(page_error::kDeleteMissingPage,
                        "TSortedPageList.Delete - element not found, key = %d, itemCount = %d",
                        {page_no, count_});
  }
  const size_t tail = static_cast<size_t>(count_ - index - 1);
  MoveItems(Keys() + index, Keys() + index + 1, tail);
  MoveItems(Entries() + index, Entries() + index + 1, tail);
  --count_;
  ShrinkIfSparse();
}

void TABSSortedPageList::Touch(int32_t page_no) {
  const int32_t index = LowerBound(page_no);
  if (index == count_ || Keys()[index] != page_no) {
    RaiseEngineError(page_error::kTouchMissingPage, "Page not found");
  }
  Entries()[index].stamp = ++stamp_counter_;
}

TABSPage* TABSSortedPageList::LeastRecentlyUsed() const {
  if (count_ == 0) return nullptr;
  const Entry* oldest =
      std::min_element(Entries(), Entries() + count_,
                       [](const Entry& a, const Entry& b) { return a.stamp < b.stamp; });
  return oldest->page;
}

void TABSSortedPageList::DeleteFirst(int32_t count) {
  const size_t tail = static_cast<size_t>(count_ - count);
  MoveItems(Keys(), Keys() + count, tail);
  MoveItems(Entries(), Entries() + count, tail);
  count_ -= count;
  ShrinkIfSparse();
}

int32_t TABSSortedPageList::LowerBound(int32_t page_no) const {
  return static_cast<int32_t>(std::lower_bound(Keys(), Keys() + count_, page_no) - Keys());
}

void TABSSortedPageList::Grow(int32_t needed) {
  grow_step_ = std::min(grow_step_ * 2, kMaxStep);
  Resize(std::max(capacity_ + grow_step_, needed));
}

// An emptied list gives all its room back: a table that is filled and emptied again and again
// (a batch table) must return to the memory it had before its rows.
void TABSSortedPageList::ShrinkIfSparse() {
  if (count_ == 0) {
    Resize(0);
    return;
  }
  if (capacity_ - count_ <= shrink_step_) return;
  shrink_step_ = std::min(shrink_step_ * 2, kMaxStep);
  Resize(count_);
}

void TABSSortedPageList::Resize(int32_t capacity) {
  if (capacity == 0) {
    keys_.Free();
    entries_.Free();
  } else {
    keys_.Resize(static_cast<size_t>(capacity) * sizeof(int32_t));
    entries_.Resize(static_cast<size_t>(capacity) * sizeof(Entry));
  }
  capacity_ = capacity;
}

}  // namespace tabshift
