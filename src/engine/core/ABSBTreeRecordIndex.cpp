#include "engine/core/ABSBTreeRecordIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/access/ABSExcept.h"

namespace tabshift {

void EncodeRecordId(const TABSRecordId& id, uint8_t* reference) {
  std::memcpy(reference, &id.page_no, 4);
  std::memcpy(reference + 4, &id.item_no, 2);
}

TABSRecordId DecodeRecordId(const uint8_t* reference) {
  TABSRecordId id;
  std::memcpy(&id.page_no, reference, 4);
  std::memcpy(&id.item_no, reference + 4, 2);
  return id;
}

namespace {

int CompareRecordIds(const uint8_t* left, const uint8_t* right) {
  const TABSRecordId l = DecodeRecordId(left);
  const TABSRecordId r = DecodeRecordId(right);
  if (l.page_no != r.page_no) return l.page_no < r.page_no ? -1 : 1;
  if (l.item_no != r.item_no) return l.item_no < r.item_no ? -1 : 1;
  return 0;
}

}  // namespace

// Orders record keys; settles ties on truncated prefixes by reading both records' whole
// values. The session of the running operation is set before every tree call.
class TABSBTreeRecordIndex::Order : public TABSBTreeOrder {
 public:
  Order(const TABSRecordKeyRef& key_ref, TABSBTreeRecordIndex& index)
      : key_ref_(key_ref), index_(index), full_key_(key_ref.FullKeySize()) {}

  void Begin(int32_t session, int32_t columns) {
    session_ = session;
    columns_ = columns < 0 ? key_ref_.ColumnCount() : columns;
  }

  int CompareKey(const TABSBTreeProbe& probe, const uint8_t* key) const override {
    return key_ref_.CompareKeys(probe.key, key, columns_, nullptr);
  }

  int CompareEntry(const TABSBTreeProbe& probe, const uint8_t* key,
                   const uint8_t* reference) const override {
    bool tie = false;
    const int result = key_ref_.CompareKeys(probe.key, key, columns_, &tie);
    if (result != 0) return result;
    const bool same_record =
        probe.reference != nullptr && CompareRecordIds(probe.reference, reference) == 0;
    if (tie && probe.full_key != nullptr && !same_record) {
      index_.FetchRecord(session_, DecodeRecordId(reference), record_);
      key_ref_.BuildFullKey(record_.data(), full_key_.data());
      const int full = key_ref_.CompareFullKeys(probe.full_key, full_key_.data(), columns_);
      if (full != 0) return full;
    }
    return probe.reference == nullptr ? 0 : CompareRecordIds(probe.reference, reference);
  }

  int CompareStored(const uint8_t* left_key, const uint8_t* left_reference,
                    const uint8_t* right_key, const uint8_t* right_reference) const override {
    bool tie = false;
    const int result = key_ref_.CompareKeys(left_key, right_key, key_ref_.ColumnCount(), &tie);
    if (result != 0) return result;
    // Prefixes alone cannot show the order of records whose long values share them.
    if (tie) return -1;
    if (left_reference == nullptr || right_reference == nullptr) return 0;
    return CompareRecordIds(left_reference, right_reference);
  }

 private:
  const TABSRecordKeyRef& key_ref_;
  TABSBTreeRecordIndex& index_;
  int32_t session_ = 0;
  int32_t columns_ = 0;
  mutable std::vector<uint8_t> record_;
  mutable std::vector<uint8_t> full_key_;
};

TABSBTreeRecordIndex::TABSBTreeRecordIndex(TABSPageManager& manager, TABSIndexTableAccess& table,
                                           TABSIndexDescription description)
    : manager_(manager),
      table_(table),
      description_(std::move(description)),
      key_ref_(description_.columns),
      order_(std::make_unique<Order>(key_ref_, *this)),
      tree_(manager, static_cast<uint16_t>(key_ref_.KeySize()), TABSRecordKeyRef::kReferenceSize,
            *order_) {
  tree_.SetRootPageNo(description_.root_page_no);
}

TABSBTreeRecordIndex::~TABSBTreeRecordIndex() = default;

void TABSBTreeRecordIndex::FetchRecord(int32_t session, const TABSRecordId& id,
                                       std::vector<uint8_t>& record) {
  if (!table_.ReadRecordBuffer(session, id, record)) {
    throw EABSException(record_index_error::kCannotRetrieveRecord,
                        "Cannot retrieve record for index");
  }
}

TABSBTreeRecordIndex::Keys TABSBTreeRecordIndex::MakeKeys(const std::vector<uint8_t>& record,
                                                          const TABSRecordId* id) const {
  Keys keys;
  keys.key.resize(key_ref_.KeySize());
  key_ref_.BuildKey(record.data(), keys.key.data());
  if (key_ref_.HasTruncatedColumns()) {
    keys.full_key.resize(key_ref_.FullKeySize());
    key_ref_.BuildFullKey(record.data(), keys.full_key.data());
  }
  if (id != nullptr) EncodeRecordId(*id, keys.reference);
  return keys;
}

TABSBTreeProbe TABSBTreeRecordIndex::Probe(const Keys& keys, bool with_reference) const {
  return {keys.key.data(), with_reference ? keys.reference : nullptr,
          keys.full_key.empty() ? nullptr : keys.full_key.data()};
}

void TABSBTreeRecordIndex::BuildIndex(
    int32_t session, const std::function<bool(TABSRecordId&, std::vector<uint8_t>&)>& next_record) {
  tree_.CreateRoot(session);
  description_.root_page_no = tree_.RootPageNo();
  TABSRecordId id;
  std::vector<uint8_t> record;
  while (next_record(id, record)) InsertKey(session, record, id);
}

void TABSBTreeRecordIndex::FreeIndex(int32_t session) {
  tree_.Free(session);
  description_.root_page_no = -1;
}

void TABSBTreeRecordIndex::ClearIndex(int32_t session) {
  tree_.Clear(session);
}

void TABSBTreeRecordIndex::InsertKey(int32_t session, const std::vector<uint8_t>& record,
                                     const TABSRecordId& id) {
  order_->Begin(session, -1);
  const Keys keys = MakeKeys(record, &id);
  tree_.Insert(session, Probe(keys, true));
}

void TABSBTreeRecordIndex::DeleteKey(int32_t session, const std::vector<uint8_t>& record,
                                     const TABSRecordId& id) {
  order_->Begin(session, -1);
  const Keys keys = MakeKeys(record, &id);
  if (!tree_.Delete(session, Probe(keys, true))) {
    throw EABSException(record_index_error::kEntryNotFound,
                        "Index error: cannot delete entry. Entry not found");
  }
}

void TABSBTreeRecordIndex::UpdateKey(int32_t session, const std::vector<uint8_t>& before,
                                     const std::vector<uint8_t>& after, const TABSRecordId& id) {
  if (CompareRecordKeys(before, after, -1) == 0) return;
  DeleteKey(session, before, id);
  InsertKey(session, after, id);
}

bool TABSBTreeRecordIndex::IsKeyAbsent(int32_t session, const std::vector<uint8_t>& record,
                                       const TABSRecordId* own_id) {
  if (!description_.unique && !description_.primary) return true;
  order_->Begin(session, -1);
  const Keys keys = MakeKeys(record, nullptr);
  TABSKeyPath path;
  if (!tree_.Seek(session, Probe(keys, false), TABSSeekOperator::Equal, false, path)) return true;
  // Every entry whose stored key agrees is a duplicate unless a truncated value differs.
  std::vector<uint8_t> key(key_ref_.KeySize());
  uint8_t reference[TABSRecordKeyRef::kReferenceSize];
  std::vector<uint8_t> other;
  do {
    tree_.ReadEntry(session, path, key.data(), reference);
    if (key_ref_.CompareKeys(keys.key.data(), key.data(), key_ref_.ColumnCount(), nullptr) != 0) {
      return true;
    }
    const TABSRecordId other_id = DecodeRecordId(reference);
    if (own_id != nullptr && other_id == *own_id) continue;
    if (!key_ref_.HasTruncatedColumns()) return false;
    FetchRecord(session, other_id, other);
    if (CompareRecordKeys(record, other, -1) == 0) return false;
  } while (tree_.Next(session, path));
  return true;
}

bool TABSBTreeRecordIndex::IsChangedKeyAbsent(int32_t session, const std::vector<uint8_t>& before,
                                              const std::vector<uint8_t>& after,
                                              const TABSRecordId& id) {
  if (CompareRecordKeys(before, after, -1) == 0) return true;
  return IsKeyAbsent(session, after, &id);
}

bool TABSBTreeRecordIndex::FindRecord(int32_t session, const TABSRecordId& id,
                                      const std::vector<uint8_t>& record, TABSKeyPath& path) {
  order_->Begin(session, -1);
  const Keys keys = MakeKeys(record, &id);
  return tree_.FindEntry(session, Probe(keys, true), path);
}

bool TABSBTreeRecordIndex::Seek(int32_t session, const std::vector<uint8_t>& record,
                                TABSSeekOperator op, bool towards_last, TABSKeyPath& path,
                                int32_t columns) {
  const Keys keys = MakeKeys(record, nullptr);
  return SeekKey(session, keys.key.data(), op, towards_last, path, columns);
}

bool TABSBTreeRecordIndex::SeekKey(int32_t session, const uint8_t* key, TABSSeekOperator op,
                                   bool towards_last, TABSKeyPath& path, int32_t columns) {
  order_->Begin(session, columns);
  const bool found = tree_.Seek(session, {key, nullptr, nullptr}, op, towards_last, path);
  order_->Begin(session, -1);
  return found;
}

TABSRecordId TABSBTreeRecordIndex::RecordIdAtPath(int32_t session, const TABSKeyPath& path) {
  uint8_t reference[TABSRecordKeyRef::kReferenceSize];
  tree_.ReadEntry(session, path, nullptr, reference);
  return DecodeRecordId(reference);
}

void TABSBTreeRecordIndex::ReadInOrder(int32_t session, TABSIndexNavigation& request,
                                       int32_t change_counter, TABSIndexPositionCache& cache) {
  if (request.direction == TABSIndexNavigation::kCurrent) {
    throw EABSException(record_index_error::kGetCurrent,
                        "Invalid 'get record' mode for index: grmCurrent");
  }
  const bool forward = request.direction == TABSIndexNavigation::kNext;
  TABSKeyPath path;
  bool found;
  if (request.at_beginning || request.at_end) {
    const bool from_start = request.at_beginning;
    if (from_start != forward) {
      found = false;
    } else {
      found = forward ? tree_.First(session, path) : tree_.Last(session, path);
    }
  } else {
    if (cache.Matches(description_.index_id, request.record_id, change_counter)) {
      path = cache.Path();
    } else if (!FindRecord(session, request.record_id, request.record, path)) {
      request.result = TABSIndexNavigation::kNotFound;
      return;
    }
    found = forward ? tree_.Next(session, path) : tree_.Prior(session, path);
  }
  if (!found) {
    request.result = forward ? TABSIndexNavigation::kEnd : TABSIndexNavigation::kBeginning;
    request.at_end = forward;
    request.at_beginning = !forward;
    return;
  }
  request.record_id = RecordIdAtPath(session, path);
  FetchRecord(session, request.record_id, request.record);
  request.at_beginning = false;
  request.at_end = false;
  request.result = TABSIndexNavigation::kFound;
  cache.Store(description_.index_id, request.record_id, change_counter, path);
}

void TABSBTreeRecordIndex::ReadBeyondKey(int32_t session, TABSIndexNavigation& request) {
  const bool forward = request.direction == TABSIndexNavigation::kNext;
  TABSKeyPath path;
  const bool found =
      Seek(session, request.record, forward ? TABSSeekOperator::Greater : TABSSeekOperator::Less,
           !forward, path);
  if (!found) {
    request.result = forward ? TABSIndexNavigation::kEnd : TABSIndexNavigation::kBeginning;
    return;
  }
  request.record_id = RecordIdAtPath(session, path);
  FetchRecord(session, request.record_id, request.record);
  request.result = TABSIndexNavigation::kFound;
}

int TABSBTreeRecordIndex::ComparePaths(const TABSKeyPath& left, const TABSKeyPath& right) {
  if (left.depth != right.depth) {
    throw EABSException(record_index_error::kInvalidPath, "Invalid index key path");
  }
  for (int32_t level = 0; level < left.depth; ++level) {
    if (left.levels[level].page_no != right.levels[level].page_no) {
      throw EABSException(record_index_error::kInvalidPath, "Invalid index key path");
    }
    const int32_t l = left.levels[level].position;
    const int32_t r = right.levels[level].position;
    if (l != r) return l < r ? -1 : 1;
  }
  return 0;
}

int64_t TABSBTreeRecordIndex::GetRecNoInOrder(int32_t session, const TABSRecordId& id,
                                              const std::vector<uint8_t>& record) {
  TABSKeyPath path;
  if (!FindRecord(session, id, record, path)) return -1;
  return tree_.Ordinal(session, path) + 1;
}

bool TABSBTreeRecordIndex::SetRecNoInOrder(int32_t session, TABSRecordId& id, int64_t rec_no) {
  uint8_t reference[TABSRecordKeyRef::kReferenceSize];
  if (!tree_.EntryAtOrdinal(session, rec_no - 1, nullptr, reference)) return false;
  id = DecodeRecordId(reference);
  return true;
}

int TABSBTreeRecordIndex::CompareRecordKeys(const std::vector<uint8_t>& left,
                                            const std::vector<uint8_t>& right,
                                            int32_t columns) const {
  std::vector<uint8_t> left_key(key_ref_.FullKeySize());
  std::vector<uint8_t> right_key(key_ref_.FullKeySize());
  key_ref_.BuildFullKey(left.data(), left_key.data());
  key_ref_.BuildFullKey(right.data(), right_key.data());
  return key_ref_.CompareFullKeys(left_key.data(), right_key.data(),
                                  columns < 0 ? key_ref_.ColumnCount() : columns);
}

int TABSBTreeRecordIndex::CompareConditionKinds(TABSSeekOperator op) {
  switch (op) {
    case TABSSeekOperator::Greater:
    case TABSSeekOperator::GreaterOrEqual:
      return -1;
    case TABSSeekOperator::Less:
    case TABSSeekOperator::LessOrEqual:
      return 1;
    default:
      return 0;
  }
}

int64_t TABSBTreeRecordIndex::EstimateRangeCount(int32_t session, const std::vector<uint8_t>* lower,
                                                 bool lower_inclusive,
                                                 const std::vector<uint8_t>* upper,
                                                 bool upper_inclusive, int64_t record_count) {
  // A bound with nothing beyond it sits at the end of the tree (fraction 1).
  const auto fraction_at = [&](const std::vector<uint8_t>* bound, TABSSeekOperator op,
                               double open) {
    if (bound == nullptr) return open;
    TABSKeyPath path;
    return Seek(session, *bound, op, false, path) ? TABSBTree::Fraction(path) : 1.0;
  };
  const double low = fraction_at(
      lower, lower_inclusive ? TABSSeekOperator::GreaterOrEqual : TABSSeekOperator::Greater, 0.0);
  const double high = fraction_at(
      upper, upper_inclusive ? TABSSeekOperator::Greater : TABSSeekOperator::GreaterOrEqual, 1.0);
  const int64_t estimate = std::llround((high - low) * static_cast<double>(record_count));
  return std::clamp<int64_t>(estimate, 0, record_count);
}

int32_t TABSBTreeRecordIndex::EntriesPerPage() const {
  return manager_.PageDataSize() / (key_ref_.KeySize() + 4);
}

void TABSBTreeRecordIndex::CheckIntegrity(int32_t session) {
  order_->Begin(session, -1);
  tree_.CheckIntegrity(session);
}

}  // namespace tabshift
