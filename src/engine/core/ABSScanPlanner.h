// The scan planner of filtered navigation. A filter comes with range conditions on the table's
// indexes; the planner merges the conditions on each index into one range (or finds that
// nothing can match), chooses the index whose range holds the fewest records, or every record
// when no range is smaller than the table, and visits the records of its choice, handing out
// each one that passes the whole filter.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/ABSBTreeKey.h"
#include "engine/core/ABSScanSearch.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

class TABSTableData;
class TABSBTreeRecordIndex;

namespace scan_planner_error {
inline constexpr int32_t kInvalidCondition = 10382;
}  // namespace scan_planner_error

// The B+ tree of one of the table's indexes.
TABSBTreeRecordIndex& RecordIndexOf(TABSTableData& table, int32_t index_id);

// One condition as records and other conditions on its index are compared with it: the full
// key, the leading columns that take part whole and the characters of the string column after
// them that take part (-1: none).
struct TABSPlannedBound {
  TABSScanSearchCondition condition;
  std::vector<uint8_t> full_key;
  int32_t whole_columns = 0;
  int32_t partial_chars = -1;
};

// The conditions on one index, compared in that index's key layout.
class TABSIndexConditions {
 public:
  explicit TABSIndexConditions(TABSBTreeRecordIndex& index);

  TABSBTreeRecordIndex& Index() { return index_; }
  void Add(const TABSScanSearchCondition& condition);
  // Narrows the conditions to the tightest lower and upper bound wherever they can be compared
  // with each other; false when no record can meet them all.
  bool Merge();
  // Whether the record (a record buffer) meets every condition.
  bool Passes(const uint8_t* record);
  // A bound limits the range when it fixes at least one whole leading column.
  bool LimitsRange() const;
  // "=" on the whole key of a one-column index that is unique or primary or whose field is an
  // autoincrement field: at most one record, or one per value of a counter.
  bool IsSingleRecordLookup(bool autoinc_column) const;
  // The records the range holds, from the tree positions of its bounds.
  int64_t EstimateRange(int32_t session, int32_t record_size, int64_t record_count);
  // The conditions a range scan over the index starts from.
  TABSScanSearchConditionArray RangeConditions() const;

 private:
  TABSPlannedBound MakeBound(const TABSScanSearchCondition& condition) const;
  int CompareWithBound(const TABSPlannedBound& bound, bool partial);
  // The record buffer that holds the bound's whole columns, for seeking the index.
  std::vector<uint8_t> BoundRecord(const TABSPlannedBound& bound, int32_t record_size) const;
  double Fraction(int32_t session, const TABSPlannedBound* bound, bool upper, int32_t record_size);

  TABSBTreeRecordIndex& index_;
  // Its own copy of the layout: a partial comparison sets a column's length for a moment.
  TABSRecordKeyRef key_ref_;
  std::vector<TABSPlannedBound> bounds_;
  std::vector<uint8_t> full_key_;
};

struct TABSScanPlan {
  enum class Kind { kNothing, kFullScan, kIndexRange };
  Kind kind = Kind::kFullScan;
  int32_t index_id = -1;
  // The records the plan expects to visit.
  int64_t estimate = 0;
};

class TABSScanPlanner {
 public:
  using Predicate = std::function<bool(const uint8_t* record)>;
  // Returns false to stop the visit.
  using Visitor = std::function<bool(const TABSRecordId& id, const uint8_t* record)>;

  // Checks every condition's operator ("Invalid condition number = %d, count = %d"). The
  // table's managers must exist; the caller holds the database lock.
  TABSScanPlanner(TABSTableData& table, int32_t session,
                  const TABSScanSearchConditionArray& conditions);
  ~TABSScanPlanner();
  TABSScanPlanner(const TABSScanPlanner&) = delete;
  TABSScanPlanner& operator=(const TABSScanPlanner&) = delete;

  // Planned on first use: testing single records needs no plan.
  const TABSScanPlan& Plan();
  bool MeetsConditions(const uint8_t* record);
  // Visits, in the plan's order (key order of the chosen index, else the store's order), every
  // record that meets the conditions and the predicate (none: every record).
  void Run(const Predicate& predicate, const Visitor& visit);

 private:
  void Group(const TABSScanSearchConditionArray& conditions);
  void Choose();
  bool Accept(const Predicate& predicate, const uint8_t* record);
  void RunIndexRange(const Predicate& predicate, const Visitor& visit);
  void RunFullScan(const Predicate& predicate, const Visitor& visit);

  TABSTableData& table_;
  int32_t session_;
  std::vector<std::unique_ptr<TABSIndexConditions>> groups_;
  TABSScanPlan plan_;
  bool planned_ = false;
};

}  // namespace tabshift
