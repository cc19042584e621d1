// One page of a B+ tree: the 18-byte header (root and leaf flags, level links, key size, entry
// count) followed by fixed-size entries, each a key and a reference (a record id or a value in
// a leaf, a child page number in a node). The page's operations go to its leaf or node
// controller by the leaf flag. TABSBTreePageRef holds a fetched page for one operation and
// gives it back to the page manager when it goes out of scope.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/ABSBTreeController.h"
#include "engine/disk/ABSPage.h"
#include "engine/disk/ABSPageManager.h"

namespace tabshift {

inline constexpr uint16_t kTableIndexPageType = 12;
inline constexpr int32_t kBTreeHeaderSize = 18;
inline constexpr int32_t kNodeReferenceSize = 4;

class TABSBTreePage : public TABSPageController {
 public:
  TABSBTreePage(TABSPage& page, uint16_t reference_size)
      : TABSPageController(page), reference_size_(reference_size) {}

  void Initialise(bool root, bool leaf, uint16_t key_size);
  void CopyHeaderFrom(const TABSBTreePage& other);

  bool IsRoot() const { return Data()[0] != 0; }
  void SetRoot(bool root) { Data()[0] = root ? 1 : 0; }
  bool IsLeaf() const { return Data()[1] != 0; }
  void SetLeaf(bool leaf) { Data()[1] = leaf ? 1 : 0; }
  int32_t PrevPageNo() const { return Read<int32_t>(2); }
  void SetPrevPageNo(int32_t page_no) { Write<int32_t>(2, page_no); }
  int32_t NextPageNo() const { return Read<int32_t>(6); }
  void SetNextPageNo(int32_t page_no) { Write<int32_t>(6, page_no); }
  uint16_t KeySize() const { return Read<uint16_t>(12); }
  int32_t Count() const { return Read<uint16_t>(14); }
  void SetCount(int32_t count) { Write<uint16_t>(14, static_cast<uint16_t>(count)); }

  int32_t PageNo() const { return Page().PageNo(); }
  int32_t ReferenceSize() const { return IsLeaf() ? reference_size_ : kNodeReferenceSize; }
  int32_t EntrySize() const { return KeySize() + ReferenceSize(); }
  // Entries that fit in the usable area; one more may be held briefly before a split.
  int32_t Capacity() const { return (UsableSize() - kBTreeHeaderSize) / EntrySize(); }
  int32_t UsableSize() const { return Page().Manager().PageDataSize(); }
  bool Overflows() const { return Count() * EntrySize() + kBTreeHeaderSize > UsableSize(); }
  bool Underflows() const { return Count() * EntrySize() < (UsableSize() - kBTreeHeaderSize) / 2; }

  uint8_t* Key(int32_t i) const { return Data() + kBTreeHeaderSize + i * EntrySize(); }
  uint8_t* Reference(int32_t i) const { return Key(i) + KeySize(); }
  int32_t ChildPageNo(int32_t i) const;
  void SetChildPageNo(int32_t i, int32_t page_no);

  // Makes room for an entry at i (the page buffer grows by one entry when needed).
  void InsertEntry(int32_t i, const uint8_t* key, const uint8_t* reference);
  void RemoveEntries(int32_t first, int32_t count);
  // Appends entries [first, first + count) of another page of the same kind.
  void AppendFrom(const TABSBTreePage& source, int32_t first, int32_t count);
  void PrependFrom(const TABSBTreePage& source);

  const TABSBTreePageController& Controller() const {
    if (IsLeaf()) return leaf_controller_;
    return node_controller_;
  }
  int CompareWithEntry(TABSBTreeContext& context, int32_t i, const TABSBTreeProbe& probe) {
    return Controller().CompareWithEntry(context, *this, i, probe);
  }
  bool Insert(TABSBTreeContext& context, int32_t i, const uint8_t* key, const uint8_t* reference) {
    return Controller().Insert(context, *this, i, key, reference);
  }
  void Delete(TABSBTreeContext& context, const TABSKeyPath& path, int32_t level,
              TABSBTreeExtend extend) {
    Controller().Delete(context, *this, path, level, extend);
  }
  void FreeSubtree(TABSBTreeContext& context) { Controller().FreeSubtree(context, *this); }
  TABSBTreeSubtreeBounds CheckIntegrity(TABSBTreeContext& context, int32_t depth,
                                        TABSBTreeCheckState& state) {
    return Controller().CheckIntegrity(context, *this, depth, state);
  }
  int32_t FindEntry(TABSBTreeContext& context, const TABSBTreeProbe& probe) {
    return Controller().FindEntry(context, *this, probe);
  }
  int32_t GoToFirst() const { return Controller().GoToFirst(*this); }
  int32_t GoToLast() const { return Controller().GoToLast(*this); }
  int32_t Seek(TABSBTreeContext& context, const TABSBTreeProbe& probe, TABSBTreeBound bound) {
    return Controller().Seek(context, *this, probe, bound);
  }
  void SetFirstKey(const uint8_t* key) { Controller().SetFirstKey(*this, key); }
  void SetLastKey(const uint8_t* key) { Controller().SetLastKey(*this, key); }
  bool GetFirstEntry(TABSBTreeContext& context, std::vector<uint8_t>& entry) {
    return Controller().GetFirstEntry(context, *this, entry);
  }
  bool GetLastEntry(TABSBTreeContext& context, std::vector<uint8_t>& entry) {
    return Controller().GetLastEntry(context, *this, entry);
  }

 private:
  template <typename T>
  T Read(size_t offset) const {
    T value;
    std::memcpy(&value, Data() + offset, sizeof(T));
    return value;
  }
  template <typename T>
  void Write(size_t offset, T value) {
    std::memcpy(Data() + offset, &value, sizeof(T));
  }
  void EnsureRoomFor(int32_t count);

  uint16_t reference_size_;
  TABSBTreeLeafController leaf_controller_;
  TABSBTreeNodeController node_controller_;
};

// A page fetched or added for one operation; marks it modified on request and releases it.
class TABSBTreePageRef {
 public:
  TABSBTreePageRef(TABSPageManager& manager, TABSPage* page, uint16_t reference_size)
      : manager_(&manager), page_(page), view_(*page, reference_size) {}
  TABSBTreePageRef(const TABSBTreePageRef&) = delete;
  TABSBTreePageRef& operator=(const TABSBTreePageRef&) = delete;
  ~TABSBTreePageRef() { manager_->ReleasePage(page_); }

  TABSBTreePage* operator->() { return &view_; }
  TABSBTreePage& operator*() { return view_; }
  void Modified() { page_->SetDirty(true); }

 private:
  TABSPageManager* manager_;
  TABSPage* page_;
  TABSBTreePage view_;
};

}  // namespace tabshift
