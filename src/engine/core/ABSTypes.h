// Small shared types of the engine core: record ids, index key paths and the cursor's cached
// index position.
#pragma once

#include <array>
#include <cstdint>

namespace tabshift {

// Identifies a record within its table; each engine gives the two parts its own meaning.
struct TABSRecordId {
  int32_t page_no = -1;
  int16_t item_no = -1;
  bool operator==(const TABSRecordId&) const = default;
};

// A position in an index tree: per level from the root down, the page, the entry position in
// it and its entry count.
struct TABSKeyPathLevel {
  int32_t page_no = -1;
  int32_t position = -1;
  int32_t entry_count = 0;
  bool operator==(const TABSKeyPathLevel&) const = default;
};

struct TABSKeyPath {
  static constexpr int32_t kMaxLevels = 32;

  std::array<TABSKeyPathLevel, kMaxLevels> levels{};
  int32_t depth = 0;
  int32_t current_level = -1;
  bool operator==(const TABSKeyPath&) const = default;
};

// Where a cursor last found a record in an index. The path is worth reusing only while the
// index, the record and the table's change counter are all the same.
class TABSIndexPositionCache {
 public:
  bool Matches(int32_t index_id, const TABSRecordId& record_id, int32_t change_counter) const {
    return index_id_ != -1 && index_id == index_id_ && record_id == record_id_ &&
           change_counter == change_counter_;
  }
  void Store(int32_t index_id, const TABSRecordId& record_id, int32_t change_counter,
             const TABSKeyPath& path) {
    index_id_ = index_id;
    record_id_ = record_id;
    change_counter_ = change_counter;
    path_ = path;
  }
  void Invalidate() { *this = TABSIndexPositionCache(); }

  int32_t IndexId() const { return index_id_; }
  const TABSRecordId& RecordId() const { return record_id_; }
  int32_t ChangeCounter() const { return change_counter_; }
  const TABSKeyPath& Path() const { return path_; }

 private:
  int32_t index_id_ = -1;
  TABSRecordId record_id_;
  int32_t change_counter_ = -1;
  TABSKeyPath path_;
};

}  // namespace tabshift
