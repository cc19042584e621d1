// A list of pages kept sorted by page number for binary search, with a use stamp per page
// so that the least recently touched page can be found. Its arrays grow and shrink in steps
// that double up to 10000 entries, so that long runs of inserts or deletes reallocate rarely.
// The list holds pages but does not own them.
#pragma once

#include <cstdint>

#include "engine/core/ABSMemory.h"

namespace tabshift {

class TABSPage;

class TABSSortedPageList {
 public:
  TABSSortedPageList() = default;
  TABSSortedPageList(const TABSSortedPageList&) = delete;
  TABSSortedPageList& operator=(const TABSSortedPageList&) = delete;

  int32_t Count() const { return count_; }
  int32_t Capacity() const { return capacity_; }
  // Pages in ascending page number order.
  TABSPage* PageAt(int32_t index) const { return Entries()[index].page; }

  // Null when the list holds no page with this number.
  TABSPage* Find(int32_t page_no) const;
  // Adds a page whose number the list does not hold yet, with the newest use stamp.
  void Insert(TABSPage* page);
  void Delete(int32_t page_no);
  // Gives the page the newest use stamp.
  void Touch(int32_t page_no);
  // The page touched longest ago; null for an empty list.
  TABSPage* LeastRecentlyUsed() const;
  // Drops the first `count` pages.
  void DeleteFirst(int32_t count);
  void Clear() { DeleteFirst(count_); }

 private:
  struct Entry {
    TABSPage* page;
    uint64_t stamp;
  };

  static constexpr int32_t kFirstStep = 1000;
  static constexpr int32_t kMaxStep = 10000;

  int32_t* Keys() const { return reinterpret_cast<int32_t*>(keys_.data()); }
  Entry* Entries() const { return reinterpret_cast<Entry*>(entries_.data()); }
  // The index of `page_no`, or of the first greater key when it is absent.
  int32_t LowerBound(int32_t page_no) const;
  void Grow(int32_t needed);
  void ShrinkIfSparse();
  void Resize(int32_t capacity);

  TABSMemoryBlock keys_;
  TABSMemoryBlock entries_;
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  int32_t grow_step_ = kFirstStep;
  int32_t shrink_step_ = kFirstStep;
  uint64_t stamp_counter_ = 0;
};

}  // namespace tabshift
