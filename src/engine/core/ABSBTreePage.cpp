#include "engine/core/ABSBTreePage.h"

namespace tabshift {

void TABSBTreePage::Initialise(bool root, bool leaf, uint16_t key_size) {
  std::memset(Data(), 0, kBTreeHeaderSize);
  SetRoot(root);
  SetLeaf(leaf);
  SetPrevPageNo(-1);
  SetNextPageNo(-1);
  Data()[10] = 1;
  Write<uint16_t>(12, key_size);
}

void TABSBTreePage::CopyHeaderFrom(const TABSBTreePage& other) {
  std::memcpy(Data(), other.Data(), kBTreeHeaderSize);
}

int32_t TABSBTreePage::ChildPageNo(int32_t i) const {
  int32_t page_no;
  std::memcpy(&page_no, Reference(i), sizeof page_no);
  return page_no;
}

void TABSBTreePage::SetChildPageNo(int32_t i, int32_t page_no) {
  std::memcpy(Reference(i), &page_no, sizeof page_no);
}

void TABSBTreePage::EnsureRoomFor(int32_t count) {
  const size_t needed = Page().Manager().PageSize() - UsableSize() + kBTreeHeaderSize +
                        static_cast<size_t>(count) * EntrySize();
  if (needed > Page().BufferSize()) Page().Enlarge(needed);
}

void TABSBTreePage::InsertEntry(int32_t i, const uint8_t* key, const uint8_t* reference) {
  const int32_t count = Count();
  EnsureRoomFor(count + 1);
  const int32_t size = EntrySize();
  std::memmove(Key(i + 1), Key(i), static_cast<size_t>(count - i) * size);
  std::memcpy(Key(i), key, KeySize());
  std::memcpy(Reference(i), reference, ReferenceSize());
  SetCount(count + 1);
}

void TABSBTreePage::RemoveEntries(int32_t first, int32_t count) {
  const int32_t total = Count();
  std::memmove(Key(first), Key(first + count),
               static_cast<size_t>(total - first - count) * EntrySize());
  SetCount(total - count);
}

void TABSBTreePage::AppendFrom(const TABSBTreePage& source, int32_t first, int32_t count) {
  const int32_t total = Count();
  EnsureRoomFor(total + count);
  std::memcpy(Key(total), source.Key(first), static_cast<size_t>(count) * EntrySize());
  SetCount(total + count);
}

void TABSBTreePage::PrependFrom(const TABSBTreePage& source) {
  const int32_t total = Count();
  const int32_t count = source.Count();
  EnsureRoomFor(total + count);
  std::memmove(Key(count), Key(0), static_cast<size_t>(total) * EntrySize());
  std::memcpy(Key(0), source.Key(0), static_cast<size_t>(count) * EntrySize());
  SetCount(total + count);
}

}  // namespace tabshift
