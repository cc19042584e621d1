// The field manager of a table: its field definitions and record layout, the exchange of field
// values with record buffers, the auto-increment counters and the default values.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "engine/access/ABSBaseFieldDefs.h"

namespace tabshift {

class TABSTableData;
class TStream;

// The record image: a null bitmap of one bit per field (set = NULL), then the fields.
namespace record_image {
inline bool IsNull(const uint8_t* record, int field_no) {
  return (record[field_no / 8] >> (field_no % 8) & 1) != 0;
}
inline void SetNull(uint8_t* record, int field_no, bool null) {
  const auto bit = static_cast<uint8_t>(1u << (field_no % 8));
  record[field_no / 8] = null ? record[field_no / 8] | bit : record[field_no / 8] & ~bit;
}
}  // namespace record_image

class TABSBaseFieldManager {
 public:
  explicit TABSBaseFieldManager(TABSTableData* table) : table_(table) {}
  virtual ~TABSBaseFieldManager() = default;

  virtual int64_t NextAutoincValue(int field_no);
  virtual void ApplyDefaultValues(uint8_t* record) const;
  virtual void AssignAutoincValues(int32_t session, uint8_t* record);
  virtual int64_t TakeAutoincValue(int32_t session, int field_no);
  virtual int64_t SessionAutoincValue(int32_t session, int field_no,
                                      bool demand_session_value = false) const;

  TABSFieldDefs& FieldDefs() { return field_defs_; }
  const TABSFieldDefs& FieldDefs() const { return field_defs_; }
  // Copies the definitions, lays them out and restarts the counters.
  void SetFieldDefs(const TABSFieldDefs& defs);
  void ResetAutoincCounters();
  const std::vector<int64_t>& AutoincCounters() const { return autoinc_counters_; }

  // The definitions in their stored form. Loading lays the record out again and restarts the
  // counters, also when a malformed stream leaves only part of the definitions.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  // The counters as a signed 32-bit count and that many signed 64-bit values; a count other
  // than the number of fields fails with "Field #%d not found" and changes nothing.
  void SaveAutoincCounters(TStream& stream) const;
  void LoadAutoincCounters(TStream& stream);
  int32_t NullBitmapSize() const { return (field_defs_.Count() + 7) / 8; }
  int32_t RecordBufferSize() const;
  int32_t StoredRecordSize() const;
  bool HasBlobFields() const;
  bool IsBlobField(int field_no) const;

  // Whether the field has a value; copies it into `value` in the exchange format when given.
  bool GetFieldData(int field_no, void* value, const uint8_t* record) const;
  // NULL for no value or an empty string; otherwise stores the exchanged value.
  void SetFieldData(int field_no, const void* value, uint8_t* record) const;

  void BufferToStored(const uint8_t* buffer, uint8_t* stored) const;
  void StoredToBuffer(const uint8_t* stored, uint8_t* buffer) const;
  bool CompareRecords(const uint8_t* left, const uint8_t* right) const;

  // The field's value as a typed value (NULL when the field is).
  TABSVariant FieldValue(int field_no, const uint8_t* record) const;

 private:
  void LayOut();
  void CheckFieldNo(int field_no, int32_t native_error) const;
  void CheckCounter(int field_no, int32_t native_error) const;

  TABSTableData* table_;
  TABSFieldDefs field_defs_;
  std::vector<int64_t> autoinc_counters_;
  // Per session, the last value taken per field ObjectID.
  std::map<std::pair<int32_t, int32_t>, int64_t> session_values_;
};

}  // namespace tabshift
