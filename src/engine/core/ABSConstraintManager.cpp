#include "engine/core/ABSConstraintManager.h"

#include <string>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSTableData.h"
#include "platform/System.h"

namespace tabshift {

namespace {

constexpr int32_t kNotImplementedOnSet = 30036;
constexpr int32_t kNotImplementedOnName = 30037;
constexpr int32_t kFieldNoNotFound = 30024;
constexpr int32_t kNullViolation = 30026;
constexpr int32_t kBelowMinimum = 30029;
constexpr int32_t kAboveMaximum = 30030;
constexpr int32_t kPrimaryNullViolation = 30330;
constexpr int32_t kFieldNotFound = 30027;
constexpr int32_t kKeyFieldNotFound = 30331;
constexpr int32_t kDuplicatePrimary = 30319;
constexpr int32_t kDuplicateUnique = 30320;
constexpr int32_t kIndexNotFound = 30325;

int FieldNoByName(TABSTableData& table, const std::string& name, int32_t native_error) {
  const int field_no = table.FieldManager()->FieldDefs().FindByName(name);
  if (field_no < 0) RaiseEngineErrorFmt(native_error, "Field '%s' not found", {name});
  return field_no;
}

int FieldNoByObjectID(TABSTableData& table, int32_t object_id) {
  const int field_no = table.FieldManager()->FieldDefs().FindByObjectID(object_id);
  if (field_no < 0) RaiseEngineErrorFmt(kFieldNoNotFound, "Field #%d not found", {object_id});
  return field_no;
}

bool IsKeyKind(uint8_t kind) {
  return kind == constraint_kind::kPrimary || kind == constraint_kind::kUnique;
}

}  // namespace

void TABSBaseConstraintManager::SetConstraintDefs(const TABSConstraintDefs& defs) {
  for (int i = 0; i < defs.Count(); ++i) {
    const uint8_t kind = defs.Item(i).Kind();
    if (!IsKeyKind(kind) && kind != constraint_kind::kNotNull && kind != constraint_kind::kCheck) {
      RaiseEngineError(kNotImplementedOnSet, "Not implemented yet");
    }
  }
  constraint_defs_.Assign(defs);
  for (int i = 0; i < constraint_defs_.Count(); ++i) {
    TABSConstraintDef& constraint = constraint_defs_.Item(i);
    constraint.ObjectID = table_->Database().NextObjectId();
    constraint.Table.Name = table_->Name();
    Resolve(constraint);
  }
  for (int i = 0; i < constraint_defs_.Count(); ++i) GiveName(constraint_defs_.Item(i));
}

void TABSBaseConstraintManager::Resolve(TABSConstraintDef& constraint) {
  auto* key = dynamic_cast<TABSConstraintDefUnique*>(&constraint);
  if (key == nullptr) {
    const int field_no = FieldNoByName(*table_, constraint.Target.Name, kFieldNotFound);
    constraint.Target.ObjectID = table_->FieldManager()->FieldDefs().Item(field_no).ObjectID;
    return;
  }
  TABSIndexDefs& indexes = table_->IndexManager()->IndexDefs();
  const TABSIndexDef* index = indexes.ItemByName(key->Target.Name);
  if (index == nullptr) {
    RaiseEngineErrorFmt(kIndexNotFound, "Index '%s' not found", {key->Target.Name});
  }
  key->Target.ObjectID = index->ObjectID;
  key->Columns.clear();
  for (const TABSIndexColumn& column : index->Columns) {
    const int field_no = FieldNoByName(*table_, column.ColumnName, kKeyFieldNotFound);
    key->Columns.push_back(
        {column.ColumnName, table_->FieldManager()->FieldDefs().Item(field_no).ObjectID});
  }
}

void TABSBaseConstraintManager::GiveName(TABSConstraintDef& constraint) {
  if (!constraint.Name.empty()) return;
  const bool not_null = constraint.Kind() == constraint_kind::kNotNull;
  if (!not_null && constraint.Kind() != constraint_kind::kCheck) {
    RaiseEngineError(kNotImplementedOnName, "Not implemented yet");
  }
  const std::string base = std::string(not_null ? "$C_NotNull$" : "$C_Check$") +
                           constraint.Table.Name + "$" + constraint.Target.Name;
  std::string name = base;
  while (constraint_defs_.FindByName(name) >= 0) {
    name = base + std::to_string(platform::Random32() % 65535);
  }
  constraint.Name = name;
}

void TABSBaseConstraintManager::AddIndexConstraint(int32_t index_object_id) {
  const TABSIndexDef* index = table_->IndexManager()->IndexDefs().ItemByObjectID(index_object_id);
  if (index == nullptr || !(index->Unique || index->Primary)) return;
  std::unique_ptr<TABSConstraintDefUnique> constraint;
  if (index->Primary) {
    constraint = std::make_unique<TABSConstraintDefPrimary>();
  } else {
    constraint = std::make_unique<TABSConstraintDefUnique>();
  }
  constraint->Name = index->Primary ? "C_PK" : "C_Unique";
  for (const TABSIndexColumn& column : index->Columns) constraint->Name += "$" + column.ColumnName;
  constraint->ObjectID = table_->Database().NextObjectId();
  constraint->Table.Name = table_->Name();
  constraint->Target.Name = index->Name;
  Resolve(*constraint);
  constraint_defs_.Add(std::move(constraint));
}

void TABSBaseConstraintManager::DropIndexConstraint(int32_t index_object_id) {
  for (int i = constraint_defs_.Count() - 1; i >= 0; --i) {
    const TABSConstraintDef& constraint = constraint_defs_.Item(i);
    if (IsKeyKind(constraint.Kind()) && constraint.Target.ObjectID == index_object_id) {
      constraint_defs_.Delete(i);
    }
  }
}

bool TABSBaseConstraintManager::Violated(bool raise, int32_t native_error,
                                         const std::string& message) const {
  if (raise) RaiseEngineError(native_error, message);
  return false;
}

bool TABSBaseConstraintManager::CheckConstraints(int32_t session, const uint8_t* record,
                                                 bool check_keys, bool raise,
                                                 const TABSRecordId& record_id, bool inserting,
                                                 const uint8_t* first_read) {
  for (int i = 0; i < constraint_defs_.Count(); ++i) {
    const TABSConstraintDef& constraint = constraint_defs_.Item(i);
    bool passed = true;
    if (const auto* key = dynamic_cast<const TABSConstraintDefUnique*>(&constraint)) {
      if (check_keys) {
        passed = CheckKey(session, *key, record, raise, record_id, inserting, first_read);
      }
    } else {
      passed = CheckField(constraint, record, raise);
    }
    if (!passed) return false;
  }
  return true;
}

bool TABSBaseConstraintManager::CheckKey(int32_t session, const TABSConstraintDefUnique& constraint,
                                         const uint8_t* record, bool raise,
                                         const TABSRecordId& record_id, bool inserting,
                                         const uint8_t* first_read) {
  const bool primary = constraint.Kind() == constraint_kind::kPrimary;
  if (primary) {
    bool all_null = true;
    std::string names;
    for (const TABSConstraintRef& column : constraint.Columns) {
      all_null =
          all_null && record_image::IsNull(record, FieldNoByObjectID(*table_, column.ObjectID));
      names += (names.empty() ? "" : ",") + column.Name;
    }
    if (all_null && !constraint.Columns.empty()) {
      return Violated(raise, kPrimaryNullViolation,
                      Format("Constraint '%s' violated. Value in field '%s' cannot be null",
                             {constraint.Name, names}));
    }
  }
  if (table_->RecordManager() == nullptr || table_->RecordManager()->RecordCount() == 0) {
    return true;
  }
  TABSIndex& index = table_->IndexManager()->GetIndex(constraint.Target.ObjectID);
  if (!inserting && first_read != nullptr) {
    bool same_key = true;
    for (const TABSConstraintRef& column : constraint.Columns) {
      const int field_no = FieldNoByObjectID(*table_, column.ObjectID);
      const TABSVariant now = table_->FieldManager()->FieldValue(field_no, record);
      const TABSVariant before = table_->FieldManager()->FieldValue(field_no, first_read);
      same_key = same_key && now.IsNull() == before.IsNull() &&
                 (now.IsNull() || now.Compare(before) == TABSCompareResult::Equal);
    }
    if (same_key) return true;
  }
  const TABSRecordId other = inserting ? TABSRecordId() : record_id;
  if (!index.KeyExists(session, record, other)) return true;
  if (primary) {
    return Violated(
        raise, kDuplicatePrimary,
        Format("Primary Key constraint '%s' violated. Duplicate found.", {constraint.Name}));
  }
  return Violated(raise, kDuplicateUnique,
                  Format("Constraint unique '%s' violated. Duplicate found.", {constraint.Name}));
}

bool TABSBaseConstraintManager::CheckField(const TABSConstraintDef& constraint,
                                           const uint8_t* record, bool raise) {
  const int field_no = FieldNoByObjectID(*table_, constraint.Target.ObjectID);
  if (constraint.Kind() == constraint_kind::kNotNull && record_image::IsNull(record, field_no)) {
    return Violated(raise, kNullViolation,
                    Format("Constraint '%s' violated. Value in field '%s' cannot be null",
                           {constraint.Name, constraint.Target.Name}));
  }
  const auto* check = dynamic_cast<const TABSConstraintDefCheck*>(&constraint);
  if (check == nullptr || record_image::IsNull(record, field_no)) return true;
  const TABSVariant value = table_->FieldManager()->FieldValue(field_no, record);
  if (!check->MinValue.IsNull() && check->MinValue.Compare(value) == TABSCompareResult::Greater) {
    return Violated(
        raise, kBelowMinimum,
        Format("Constraint '%s' violated. Value in field '%s' cannot be lower than '%s'",
               {constraint.Name, constraint.Target.Name, check->MinValue.GetAsString()}));
  }
  if (!check->MaxValue.IsNull() && check->MaxValue.Compare(value) == TABSCompareResult::Less) {
    return Violated(
        raise, kAboveMaximum,
        Format("Constraint '%s' violated. Value in field '%s' cannot be greater than '%s'",
               {constraint.Name, constraint.Target.Name, check->MaxValue.GetAsString()}));
  }
  return true;
}

}  // namespace tabshift
