// The records that pass a cursor's filter, in the cursor's order: the store's order (by record
// number) or the key order of an index (full keys, then record ids, as the index keeps them).
// It holds while the table's change counter and record count are the ones it was made at.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/core/ABSBTreeKey.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

class TABSFilteredOrder {
 public:
  // `key_ref`: the layout of the cursor's index; none for the store's order.
  TABSFilteredOrder(const TABSRecordKeyRef* key_ref, int32_t index_id, int32_t change_counter,
                    int64_t record_count);

  bool IsCurrent(int32_t index_id, int32_t change_counter, int64_t record_count) const {
    return index_id == index_id_ && change_counter == change_counter_ &&
           record_count == record_count_;
  }
  bool InKeyOrder() const { return key_ref_.has_value(); }

  // `record` is the record buffer; only key order needs it.
  void Add(const TABSRecordId& id, int64_t number, const uint8_t* record);
  // Puts the records added into the order.
  void Sort();

  int64_t Count() const { return static_cast<int64_t>(entries_.size()); }
  const TABSRecordId& At(int64_t position) const {
    return entries_[static_cast<size_t>(position)].id;
  }
  // The position of the first record that does not come before the given one; `exact` tells
  // whether it is that record. Remembers an exact answer for the next question.
  int64_t LowerBound(const TABSRecordId& id, int64_t number, const uint8_t* record, bool& exact);
  void Remember(int64_t position) { hint_ = position; }

 private:
  struct Entry {
    TABSRecordId id;
    int64_t number = 0;
  };

  const uint8_t* KeyAt(size_t entry) const {
    return keys_.data() + entry * static_cast<size_t>(key_size_);
  }
  // Entry against (id, number, full key): negative when the entry comes first.
  int Compare(size_t entry, const TABSRecordId& id, int64_t number, const uint8_t* key) const;

  std::optional<TABSRecordKeyRef> key_ref_;
  int32_t key_size_ = 0;
  int32_t index_id_;
  int32_t change_counter_;
  int64_t record_count_;
  std::vector<Entry> entries_;
  std::vector<uint8_t> keys_;
  int64_t hint_ = -1;
};

}  // namespace tabshift
