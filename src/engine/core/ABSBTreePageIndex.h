// Page directories of the disk engine: B+ trees keyed by page number with a 2-byte value per
// page. The record page directory keeps the number of records on each record page, the BLOB
// page directory the bytes used on each BLOB page.
#pragma once

#include <cstdint>

#include "engine/core/ABSBTree.h"

namespace tabshift {

namespace page_index_error {
inline constexpr int32_t kEntryNotFound = 20027;
inline constexpr int32_t kRecNoBeyondCount = 20113;
inline constexpr int32_t kRecordCountMismatch = 20292;
}  // namespace page_index_error

// The key of a page directory: one signed 32-bit page number, compared numerically.
class TABSPageKeyRef : public TABSBTreeOrder {
 public:
  static constexpr uint16_t kKeySize = 4;
  static constexpr uint16_t kReferenceSize = 2;

  int CompareKey(const TABSBTreeProbe& probe, const uint8_t* key) const override;
  int CompareEntry(const TABSBTreeProbe& probe, const uint8_t* key,
                   const uint8_t* reference) const override;
  int CompareStored(const uint8_t* left_key, const uint8_t* left_reference,
                    const uint8_t* right_key, const uint8_t* right_reference) const override;
};

class TABSBTreePageIndex {
 public:
  explicit TABSBTreePageIndex(TABSPageManager& manager);
  virtual ~TABSBTreePageIndex() = default;

  int32_t RootPageNo() const { return tree_.RootPageNo(); }
  void SetRootPageNo(int32_t page_no) { tree_.SetRootPageNo(page_no); }
  void CreateRoot(int32_t session) { tree_.CreateRoot(session); }
  void Free(int32_t session) { tree_.Free(session); }
  void Clear(int32_t session) { tree_.Clear(session); }

  bool FindFirst(int32_t session, TABSKeyPath& path) { return tree_.First(session, path); }
  bool FindLast(int32_t session, TABSKeyPath& path) { return tree_.Last(session, path); }
  bool FindNext(int32_t session, TABSKeyPath& path) { return tree_.Next(session, path); }
  bool FindPrior(int32_t session, TABSKeyPath& path) { return tree_.Prior(session, path); }
  bool FindPage(int32_t session, int32_t page_no, TABSKeyPath& path);

  void Insert(int32_t session, int32_t page_no, uint16_t value);
  void Update(int32_t session, int32_t page_no, uint16_t value);
  void Delete(int32_t session, int32_t page_no);
  int32_t PageNoAt(int32_t session, const TABSKeyPath& path);
  uint16_t ValueAt(int32_t session, const TABSKeyPath& path);
  void CheckIntegrity(int32_t session) { tree_.CheckIntegrity(session); }

 protected:
  TABSPageManager& Manager() const { return manager_; }

 private:
  TABSPageManager& manager_;
  TABSPageKeyRef order_;
  TABSBTree tree_;
};

// Per record page of a table, the number of records on it.
class TABSBTreeRecordPageIndex : public TABSBTreePageIndex {
 public:
  using TABSBTreePageIndex::TABSBTreePageIndex;

  int64_t RecordCount(int32_t session);
  // The first page holding fewer records than the limit; false when every page is full.
  bool FindPageWithRoom(int32_t session, int32_t records_per_page, int32_t& page_no);
  // A 0-based record number to its page and its position among the page's records.
  void RecNoToPosition(int32_t session, int64_t rec_no, int32_t& page_no, int32_t& position);
  int64_t PositionToRecNo(int32_t session, int32_t page_no, int32_t position);
  void CheckRecordCount(int32_t session, int64_t table_record_count);
};

// Per BLOB page, the bytes used on it.
class TABSBTreeBlobPageIndex : public TABSBTreePageIndex {
 public:
  using TABSBTreePageIndex::TABSBTreePageIndex;

  // The first page where a BLOB of that size fits.
  bool FindPageWithRoom(int32_t session, int32_t blob_size, int32_t& page_no);
};

}  // namespace tabshift
