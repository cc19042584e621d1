// The index of a table's records: a B+ tree whose leaf entries hold a record key and the
// record id, ordered by key and then by record id. Long string columns keep only a prefix in
// the key; records whose prefixes agree are read back through the table to settle the order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/ABSBTree.h"
#include "engine/core/ABSBTreeKey.h"
#include "engine/core/ABSBTreeScan.h"
#include "engine/core/ABSRecordBitmap.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

namespace record_index_error {
inline constexpr int32_t kEntryNotFound = 20250;
inline constexpr int32_t kGetCurrent = 20053;
inline constexpr int32_t kCannotRetrieveRecord = 20170;
inline constexpr int32_t kInvalidPath = 20052;
inline constexpr int32_t kInvalidParams = 20078;
}  // namespace record_index_error

// What the index needs from the table it belongs to.
class TABSIndexTableAccess {
 public:
  virtual ~TABSIndexTableAccess() = default;
  // Fills `record` with the record buffer of the record; false when it cannot be read.
  virtual bool ReadRecordBuffer(int32_t session, const TABSRecordId& record_id,
                                std::vector<uint8_t>& record) = 0;
};

// The parts of an index definition the tree works from.
struct TABSIndexDescription {
  int32_t index_id = 0;
  bool unique = false;
  bool primary = false;
  std::vector<TABSIndexColumnInfo> columns;
  int32_t root_page_no = -1;
};

// A request to read the next or prior record in key order.
struct TABSIndexNavigation {
  enum Direction { kCurrent = 0, kNext = 1, kPrior = 2 };
  enum Result { kFound = 0, kBeginning = 1, kEnd = 2, kNotFound = 3 };

  Direction direction = kNext;
  TABSRecordId record_id;       // in: where the cursor stands; out: the record found
  std::vector<uint8_t> record;  // in: the current record buffer; out: the record found
  bool at_beginning = false;
  bool at_end = false;
  Result result = kNotFound;
};

class TABSBTreeRecordIndex {
 public:
  TABSBTreeRecordIndex(TABSPageManager& manager, TABSIndexTableAccess& table,
                       TABSIndexDescription description);
  ~TABSBTreeRecordIndex();

  const TABSIndexDescription& Description() const { return description_; }
  int32_t RootPageNo() const { return tree_.RootPageNo(); }
  const TABSRecordKeyRef& KeyRef() const { return key_ref_; }
  int32_t KeySize() const { return key_ref_.KeySize(); }

  // Allocates an empty root and inserts every record the callback hands out until it returns
  // false.
  void BuildIndex(int32_t session,
                  const std::function<bool(TABSRecordId&, std::vector<uint8_t>&)>& next_record);
  void FreeIndex(int32_t session);
  void ClearIndex(int32_t session);

  void InsertKey(int32_t session, const std::vector<uint8_t>& record, const TABSRecordId& id);
  void DeleteKey(int32_t session, const std::vector<uint8_t>& record, const TABSRecordId& id);
  // Moves the record's entry when its key changed between the two buffers.
  void UpdateKey(int32_t session, const std::vector<uint8_t>& before,
                 const std::vector<uint8_t>& after, const TABSRecordId& id);

  bool IsKeyAbsent(int32_t session, const std::vector<uint8_t>& record,
                   const TABSRecordId* own_id = nullptr);
  bool IsChangedKeyAbsent(int32_t session, const std::vector<uint8_t>& before,
                          const std::vector<uint8_t>& after, const TABSRecordId& id);

  void ReadInOrder(int32_t session, TABSIndexNavigation& request, int32_t change_counter,
                   TABSIndexPositionCache& cache);
  void ReadBeyondKey(int32_t session, TABSIndexNavigation& request);
  bool FindRecord(int32_t session, const TABSRecordId& id, const std::vector<uint8_t>& record,
                  TABSKeyPath& path);
  // Over the first `columns` columns (all with -1) of the key built from the record buffer.
  bool Seek(int32_t session, const std::vector<uint8_t>& record, TABSSeekOperator op,
            bool towards_last, TABSKeyPath& path, int32_t columns = -1);
  static int ComparePaths(const TABSKeyPath& left, const TABSKeyPath& right);
  int64_t GetRecNoInOrder(int32_t session, const TABSRecordId& id,
                          const std::vector<uint8_t>& record);
  bool SetRecNoInOrder(int32_t session, TABSRecordId& id, int64_t rec_no);
  int CompareRecordKeys(const std::vector<uint8_t>& left, const std::vector<uint8_t>& right,
                        int32_t columns) const;
  static int CompareConditionKinds(TABSSeekOperator op);
  // Records between two bounds (a null bound is open), estimated from tree positions.
  int64_t EstimateRangeCount(int32_t session, const std::vector<uint8_t>* lower,
                             bool lower_inclusive, const std::vector<uint8_t>* upper,
                             bool upper_inclusive, int64_t record_count);
  int32_t EntriesPerPage() const;

  // Range scans for filtered navigation, over the conditions on this index (others are left
  // out). A condition's key is a full key of the index; its partial size, when set, is the
  // number of leading full-key bytes that take part.
  std::unique_ptr<TABSIndexScanState> NewScanState(TABSScanSearchConditionArray& conditions) const;
  // A condition as a bound in this index's key layout: the whole key it gives (zero-padded), how
  // many leading columns it covers whole, and the characters of a partly covered string column.
  TABSIndexScanBound MakeScanBound(const TABSScanSearchCondition& condition) const;
  static void FreeScanState(std::unique_ptr<TABSIndexScanState>& state) { state.reset(); }
  // The next (forward) or prior record of the range; false when the scan has left it.
  bool ScanStep(int32_t session, TABSIndexScanState& state, bool forward, int32_t change_counter,
                TABSRecordId& id, std::vector<uint8_t>& record);
  // Refills the bitmap: every record of the range that passes the filter (none: every record)
  // is marked under the number `record_number` gives it, in key order; the bitmap is stamped
  // with the change counter.
  void FillFilterBitmap(int32_t session, TABSScanSearchConditionArray& conditions,
                        const std::function<bool(const uint8_t* record)>& filter,
                        const std::function<int64_t(const TABSRecordId&)>& record_number,
                        TABSRecordBitmap& bitmap, int32_t change_counter);
  TABSRecordId RecordIdAtPath(int32_t session, const TABSKeyPath& path);
  int64_t EntryCount(int32_t session) { return tree_.Count(session); }
  int32_t Depth(int32_t session) { return tree_.Depth(session); }
  void CheckIntegrity(int32_t session);

 private:
  class Order;
  struct Keys {
    std::vector<uint8_t> key;
    std::vector<uint8_t> full_key;
    uint8_t reference[TABSRecordKeyRef::kReferenceSize] = {};
  };

  Keys MakeKeys(const std::vector<uint8_t>& record, const TABSRecordId* id) const;
  TABSBTreeProbe Probe(const Keys& keys, bool with_reference) const;
  void FetchRecord(int32_t session, const TABSRecordId& id, std::vector<uint8_t>& record);
  // Over the first `columns` columns of a stored key.
  bool SeekKey(int32_t session, const uint8_t* key, TABSSeekOperator op, bool towards_last,
               TABSKeyPath& path, int32_t columns);
  bool SeekBound(int32_t session, const TABSIndexScanBound& bound, bool forward, TABSKeyPath& path);
  bool StartScan(int32_t session, const TABSIndexScanState& state, bool forward, TABSKeyPath& path);
  int CompareWithBound(const std::vector<uint8_t>& full_key, const TABSIndexScanBound& bound,
                       bool partial);
  bool StepFromStop(int32_t session, TABSIndexScanState& state, bool forward,
                    int32_t change_counter);
  enum class ScanVerdict { kInside, kSkip, kBeyond };
  ScanVerdict JudgeScanRecord(const std::vector<uint8_t>& record, const TABSIndexScanState& state,
                              bool forward);

  TABSPageManager& manager_;
  TABSIndexTableAccess& table_;
  TABSIndexDescription description_;
  TABSRecordKeyRef key_ref_;
  std::unique_ptr<Order> order_;
  TABSBTree tree_;
};

void EncodeRecordId(const TABSRecordId& id, uint8_t* reference);
TABSRecordId DecodeRecordId(const uint8_t* reference);

}  // namespace tabshift
