#include "engine/core/ABSFilteredOrder.h"

#include <algorithm>
#include <numeric>

namespace tabshift {
namespace {

int CompareIds(const TABSRecordId& left, const TABSRecordId& right) {
  if (left.page_no != right.page_no) return left.page_no < right.page_no ? -1 : 1;
  if (left.item_no != right.item_no) return left.item_no < right.item_no ? -1 : 1;
  return 0;
}

}  // namespace

TABSFilteredOrder::TABSFilteredOrder(const TABSRecordKeyRef* key_ref, int32_t index_id,
                                     int32_t change_counter, int64_t record_count)
    : index_id_(index_id), change_counter_(change_counter), record_count_(record_count) {
  if (key_ref != nullptr) {
    key_ref_.emplace(*key_ref);
    key_size_ = key_ref->FullKeySize();
  }
}

void TABSFilteredOrder::Add(const TABSRecordId& id, int64_t number, const uint8_t* record) {
  entries_.push_back({id, number});
  if (!key_ref_) return;
  keys_.resize(keys_.size() + static_cast<size_t>(key_size_));
  key_ref_->BuildFullKey(record, keys_.data() + keys_.size() - static_cast<size_t>(key_size_));
}

int TABSFilteredOrder::Compare(size_t entry, const TABSRecordId& id, int64_t number,
                               const uint8_t* key) const {
  if (!key_ref_) {
    const int64_t own = entries_[entry].number;
    return own == number ? 0 : (own < number ? -1 : 1);
  }
  const int keys = key_ref_->CompareFullKeys(KeyAt(entry), key, key_ref_->ColumnCount());
  return keys != 0 ? keys : CompareIds(entries_[entry].id, id);
}

void TABSFilteredOrder::Sort() {
  std::vector<size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  const auto before = [&](size_t left, size_t right) {
    const Entry& other = entries_[right];
    return Compare(left, other.id, other.number, key_ref_ ? KeyAt(right) : nullptr) < 0;
  };
  if (std::is_sorted(order.begin(), order.end(), before)) return;
  std::sort(order.begin(), order.end(), before);
  std::vector<Entry> entries;
  entries.reserve(entries_.size());
  std::vector<uint8_t> keys;
  keys.reserve(keys_.size());
  for (const size_t i : order) {
    entries.push_back(entries_[i]);
    if (key_ref_) keys.insert(keys.end(), KeyAt(i), KeyAt(i) + key_size_);
  }
  entries_ = std::move(entries);
  keys_ = std::move(keys);
  hint_ = -1;
}

int64_t TABSFilteredOrder::LowerBound(const TABSRecordId& id, int64_t number, const uint8_t* record,
                                      bool& exact) {
  if (hint_ >= 0 && hint_ < Count() && entries_[static_cast<size_t>(hint_)].id == id) {
    exact = true;
    return hint_;
  }
  std::vector<uint8_t> key;
  if (key_ref_) {
    key.resize(static_cast<size_t>(key_size_));
    key_ref_->BuildFullKey(record, key.data());
  }
  size_t low = 0;
  size_t high = entries_.size();
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (Compare(middle, id, number, key.data()) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  exact = low < entries_.size() && entries_[low].id == id;
  if (exact) hint_ = static_cast<int64_t>(low);
  return static_cast<int64_t>(low);
}

}  // namespace tabshift
