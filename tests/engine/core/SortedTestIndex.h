// An ordered index over std::multiset for the table data's tests, registered as the index
// kind while the B-tree is not yet plugged in. It orders by the key columns' values (NULL
// first, descending and case-insensitive columns honoured), then by record id.
#pragma once

#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "engine/core/ABSIndexManager.h"
#include "engine/core/ABSTableData.h"

namespace tabshift::testing {

class SortedTestIndex : public TABSIndex {
 public:
  SortedTestIndex(const TABSIndexDef& definition, TABSBaseIndexManager& owner)
      : TABSIndex(definition, owner), entries_(Less{this}) {}

  static void Register() {
    SetIndexFactory([](const TABSIndexDef& definition, TABSBaseIndexManager& owner,
                       TABSPageManager&) -> std::unique_ptr<TABSIndex> {
      return std::make_unique<SortedTestIndex>(definition, owner);
    });
  }

  void CreateIndex(int32_t) override { entries_.clear(); }
  void DropIndex(int32_t) override { entries_.clear(); }
  void EmptyIndex(int32_t) override { entries_.clear(); }
  void InsertRecord(int32_t, const uint8_t* record, const TABSRecordId& id) override {
    entries_.insert(MakeEntry(record, id));
  }
  void DeleteRecord(int32_t, const uint8_t* record, const TABSRecordId& id) override {
    entries_.erase(MakeEntry(record, id));
  }
  bool KeyExists(int32_t, const uint8_t* record, const TABSRecordId& id) override {
    Entry probe = MakeEntry(record, TABSRecordId{INT32_MIN, INT16_MIN});
    for (auto it = entries_.lower_bound(probe); it != entries_.end(); ++it) {
      if (CompareKeys(probe, *it) != 0) return false;
      if (!(it->id == id)) return true;
    }
    return false;
  }
  void ReadRecordId(int32_t, TABSNavigationRequest& request, const uint8_t* key) override {
    auto position = entries_.end();
    if (request.direction == TABSReadDirection::Next) {
      position = request.at_beginning ? entries_.begin()
                                      : entries_.upper_bound(MakeEntry(key, request.record_id));
    } else if (request.direction == TABSReadDirection::Prior) {
      auto from =
          request.at_end ? entries_.end() : entries_.lower_bound(MakeEntry(key, request.record_id));
      if (from == entries_.begin()) {
        request.result = TABSReadResult::Beginning;
        return;
      }
      position = std::prev(from);
    }
    if (position == entries_.end()) {
      request.result = TABSReadResult::End;
      return;
    }
    request.record_id = position->id;
    request.at_beginning = false;
    request.at_end = false;
    request.result = TABSReadResult::Found;
  }
  int32_t RootPageNo() const override { return 0; }

  size_t EntryCount() const { return entries_.size(); }

 private:
  struct Entry {
    std::vector<TABSVariant> values;
    TABSRecordId id;
  };
  struct Less {
    SortedTestIndex* index;
    bool operator()(const Entry& left, const Entry& right) const {
      const int keys = index->CompareKeys(left, right);
      if (keys != 0) return keys < 0;
      if (left.id.page_no != right.id.page_no) return left.id.page_no < right.id.page_no;
      return left.id.item_no < right.id.item_no;
    }
  };

  Entry MakeEntry(const uint8_t* record, const TABSRecordId& id) {
    Entry entry{{}, id};
    TABSBaseFieldManager& fields = *Owner().Table().FieldManager();
    for (const TABSIndexColumn& column : Definition().Columns) {
      entry.values.push_back(
          fields.FieldValue(fields.FieldDefs().FindByName(column.ColumnName), record));
    }
    return entry;
  }

  int CompareKeys(const Entry& left, const Entry& right) const {
    const auto& columns = const_cast<SortedTestIndex*>(this)->Definition().Columns;
    for (size_t i = 0; i < left.values.size(); ++i) {
      int order = 0;
      const bool left_null = left.values[i].IsNull();
      const bool right_null = right.values[i].IsNull();
      if (left_null || right_null) {
        order = left_null == right_null ? 0 : (left_null ? -1 : 1);
      } else {
        const TABSCompareResult result =
            left.values[i].Compare(right.values[i], columns[i].CaseInsensitive);
        order =
            result == TABSCompareResult::Equal ? 0 : (result == TABSCompareResult::Less ? -1 : 1);
      }
      if (columns[i].Descending) order = -order;
      if (order != 0) return order;
    }
    return 0;
  }

  std::multiset<Entry, Less> entries_;
};

}  // namespace tabshift::testing
