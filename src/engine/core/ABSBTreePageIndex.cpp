#include "engine/core/ABSBTreePageIndex.h"

#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

int32_t LoadPageNo(const uint8_t* key) {
  int32_t page_no;
  std::memcpy(&page_no, key, sizeof page_no);
  return page_no;
}

int ComparePageNos(const uint8_t* left, const uint8_t* right) {
  const int32_t l = LoadPageNo(left);
  const int32_t r = LoadPageNo(right);
  return l < r ? -1 : (r < l ? 1 : 0);
}

}  // namespace

int TABSPageKeyRef::CompareKey(const TABSBTreeProbe& probe, const uint8_t* key) const {
  return ComparePageNos(probe.key, key);
}

int TABSPageKeyRef::CompareEntry(const TABSBTreeProbe& probe, const uint8_t* key,
                                 const uint8_t*) const {
  return ComparePageNos(probe.key, key);
}

int TABSPageKeyRef::CompareStored(const uint8_t* left_key, const uint8_t* left_reference,
                                  const uint8_t* right_key, const uint8_t* right_reference) const {
  const int result = ComparePageNos(left_key, right_key);
  // Page numbers are unique: with references, equal keys are out of order.
  return result == 0 && left_reference != nullptr && right_reference != nullptr ? 1 : result;
}

TABSBTreePageIndex::TABSBTreePageIndex(TABSPageManager& manager)
    : manager_(manager),
      tree_(manager, TABSPageKeyRef::kKeySize, TABSPageKeyRef::kReferenceSize, order_) {}

bool TABSBTreePageIndex::FindPage(int32_t session, int32_t page_no, TABSKeyPath& path) {
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&page_no), nullptr, nullptr};
  return tree_.FindEntry(session, probe, path);
}

void TABSBTreePageIndex::Insert(int32_t session, int32_t page_no, uint16_t value) {
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&page_no),
                             reinterpret_cast<const uint8_t*>(&value), nullptr};
  tree_.Insert(session, probe);
}

void TABSBTreePageIndex::Update(int32_t session, int32_t page_no, uint16_t value) {
  TABSKeyPath path;
  if (!FindPage(session, page_no, path)) {
    throw EABSException(page_index_error::kEntryNotFound,
                        "Index error: cannot delete entry. Entry not found");
  }
  tree_.WriteReference(session, path, reinterpret_cast<const uint8_t*>(&value));
}

void TABSBTreePageIndex::Delete(int32_t session, int32_t page_no) {
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&page_no), nullptr, nullptr};
  if (!tree_.Delete(session, probe)) {
    throw EABSException(page_index_error::kEntryNotFound,
                        "Index error: cannot delete entry. Entry not found");
  }
}

int32_t TABSBTreePageIndex::PageNoAt(int32_t session, const TABSKeyPath& path) {
  uint8_t key[TABSPageKeyRef::kKeySize];
  tree_.ReadEntry(session, path, key, nullptr);
  return LoadPageNo(key);
}

uint16_t TABSBTreePageIndex::ValueAt(int32_t session, const TABSKeyPath& path) {
  uint16_t value;
  tree_.ReadEntry(session, path, nullptr, reinterpret_cast<uint8_t*>(&value));
  return value;
}

int64_t TABSBTreeRecordPageIndex::RecordCount(int32_t session) {
  int64_t count = 0;
  TABSKeyPath path;
  for (bool found = FindFirst(session, path); found; found = FindNext(session, path)) {
    count += ValueAt(session, path);
  }
  return count;
}

bool TABSBTreeRecordPageIndex::FindPageWithRoom(int32_t session, int32_t records_per_page,
                                                int32_t& page_no) {
  TABSKeyPath path;
  for (bool found = FindFirst(session, path); found; found = FindNext(session, path)) {
    if (ValueAt(session, path) < records_per_page) {
      page_no = PageNoAt(session, path);
      return true;
    }
  }
  return false;
}

void TABSBTreeRecordPageIndex::RecNoToPosition(int32_t session, int64_t rec_no, int32_t& page_no,
                                               int32_t& position) {
  TABSKeyPath path;
  for (bool found = rec_no >= 0 && FindFirst(session, path); found;
       found = FindNext(session, path)) {
    const uint16_t count = ValueAt(session, path);
    if (rec_no < count) {
      page_no = PageNoAt(session, path);
      position = static_cast<int32_t>(rec_no);
      return;
    }
    rec_no -= count;
  }
  throw EABSException(page_index_error::kRecNoBeyondCount,
                      "Cannot set RecNo greater than RecordCount");
}

int64_t TABSBTreeRecordPageIndex::PositionToRecNo(int32_t session, int32_t page_no,
                                                  int32_t position) {
  int64_t rec_no = 0;
  TABSKeyPath path;
  for (bool found = FindFirst(session, path); found; found = FindNext(session, path)) {
    if (PageNoAt(session, path) == page_no) return rec_no + position;
    rec_no += ValueAt(session, path);
  }
  throw EABSException(btree_error::kInvalidIndexPageNo, "Index error: invalid page number");
}

void TABSBTreeRecordPageIndex::CheckRecordCount(int32_t session, int64_t table_record_count) {
  const int64_t count = RecordCount(session);
  if (count != table_record_count) {
    throw EABSException(page_index_error::kRecordCountMismatch,
                        "Invalid table RecordPageIndex or MostUpdated. "
                        "RecordPageIndex.RecordCount=%d, MostUpdated.RecordCount=%d",
                        {count, table_record_count});
  }
}

bool TABSBTreeBlobPageIndex::FindPageWithRoom(int32_t session, int32_t blob_size,
                                              int32_t& page_no) {
  const int64_t limit = static_cast<int64_t>(Manager().PageDataSize()) - 2;
  TABSKeyPath path;
  for (bool found = FindFirst(session, path); found; found = FindNext(session, path)) {
    if (ValueAt(session, path) + static_cast<int64_t>(blob_size) < limit) {
      page_no = PageNoAt(session, path);
      return true;
    }
  }
  return false;
}

}  // namespace tabshift
