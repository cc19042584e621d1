// The constraint manager of a table: resolves the constraint definitions against the table's
// fields and indexes, names the unnamed ones and checks records against them.
#pragma once

#include <cstdint>

#include "engine/access/ABSBaseConstraintDefs.h"
#include "engine/core/ABSTypes.h"

namespace tabshift {

class TABSTableData;

class TABSBaseConstraintManager {
 public:
  explicit TABSBaseConstraintManager(TABSTableData* table) : table_(table) {}

  TABSConstraintDefs& ConstraintDefs() { return constraint_defs_; }
  // Copies the definitions (new ObjectIDs, the table's name as their second pair), resolves
  // their fields and indexes and names the unnamed ones.
  void SetConstraintDefs(const TABSConstraintDefs& defs);
  // Adds the constraint a unique or primary index implies.
  void AddIndexConstraint(int32_t index_object_id);
  // Drops the primary-key or unique constraint over the index.
  void DropIndexConstraint(int32_t index_object_id);
  bool CheckConstraints(int32_t session, const uint8_t* record, bool check_keys, bool raise,
                        const TABSRecordId& record_id, bool inserting, const uint8_t* first_read);

 private:
  void Resolve(TABSConstraintDef& constraint);
  void GiveName(TABSConstraintDef& constraint);
  bool Violated(bool raise, int32_t native_error, const std::string& message) const;
  bool CheckKey(int32_t session, const TABSConstraintDefUnique& constraint, const uint8_t* record,
                bool raise, const TABSRecordId& record_id, bool inserting,
                const uint8_t* first_read);
  bool CheckField(const TABSConstraintDef& constraint, const uint8_t* record, bool raise);

  TABSTableData* table_;
  TABSConstraintDefs constraint_defs_;
};

}  // namespace tabshift
