#include "engine/access/ABSMainTable.h"

#include <mutex>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSLocalCursor.h"
#include "engine/access/ABSRowCopy.h"
#include "framework/Format.h"
#include "framework/Text.h"

namespace tabshift {
namespace {

// Whether the index's key fields begin with `fields` (compared without regard to case).
bool IndexStartsWith(const TIndexDef& index, const std::vector<std::string>& fields) {
  const std::vector<std::string> keys = SplitFieldList(index.Fields);
  if (keys.size() < fields.size()) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!SameText(keys[i], fields[i])) return false;
  }
  return true;
}

bool IsTemporaryIndex(const TABSAdvIndexDef& index) {
  return index.Temporary || UpperCase(index.Name).find("TEMPORARY") != std::string::npos;
}

}  // namespace

TABSTable::TABSTable(TComponent* owner) : TABSDataSet(owner) {
  RegisterTableCopier();
}

TABSTable::~TABSTable() {
  Close();
}

void TABSTable::SetTableName(const std::string& name) {
  CheckInactive();
  table_name_ = name;
}

void TABSTable::SetExclusive(bool value) {
  CheckInactive();
  exclusive_ = value;
}

void TABSTable::SetIndexName(const std::string& name) {
  index_name_ = name;
  index_field_names_.clear();
  ApplyIndex();
}

void TABSTable::SetIndexFieldNames(const std::string& names) {
  index_field_names_ = names;
  index_name_.clear();
  ApplyIndex();
}

void TABSTable::ApplyIndex() {
  if (!Active()) return;
  CheckBrowseMode();
  SelectIndex();
  First();
}

void TABSTable::CheckTableName() const {
  if (Trim(table_name_).empty()) DatabaseError("Missing TableName property", this);
}

std::unique_ptr<TABSCursor> TABSTable::MakeOperationCursor() const {
  std::unique_ptr<TABSCursor> cursor = MakeCursor(table_name_);
  cursor->Exclusive = true;
  cursor->ReadOnly = false;
  return cursor;
}

std::unique_ptr<TABSCursor> TABSTable::OpenOperationCursor() {
  std::unique_ptr<TABSCursor> cursor = MakeCursor(table_name_);
  cursor->Exclusive = exclusive_;
  cursor->OpenTable(engine_defs_.Fields, engine_defs_.Indexes, engine_defs_.Constraints);
  return cursor;
}

void TABSTable::RefuseInTransaction(int32_t native_error, const char* operation) const {
  if (Database()->InTransaction()) {
    RaiseEngineErrorFmt(native_error, "Cannot perform '%s' operation on a database in transaction",
                        {operation});
  }
}

std::unique_ptr<TABSCursor> TABSTable::OpenTableCursor() {
  CheckTableName();
  std::unique_ptr<TABSCursor> cursor = MakeCursor(table_name_);
  cursor->Exclusive = exclusive_;
  cursor->ReadOnly = ReadOnly() || Database()->ReadOnly();
  AddPersistentFieldDefs();
  BuildOpenDefinitions();
  cursor->OpenTable(engine_defs_.Fields, engine_defs_.Indexes, engine_defs_.Constraints);
  return cursor;
}

void TABSTable::SelectIndex() {
  if (!index_field_names_.empty()) {
    const std::vector<std::string> fields = SplitFieldList(index_field_names_);
    for (const TIndexDef& index : index_defs_) {
      if (IndexStartsWith(index, fields)) return cursor_->SetIndexName(index.Name);
    }
    std::vector<TABSIndexColumn> columns;
    for (const std::string& field : fields) columns.push_back(TABSIndexColumn{field});
    cursor_->SetIndexForFields(columns);
    return;
  }
  cursor_->SetIndexName(index_name_);
}

bool TABSTable::Exists() {
  if (DatabaseName().empty()) return false;
  try {
    Attachment asking(*this, TABSAttachReason::TableOperation);
    return Database()->TableExists(table_name_);
  } catch (const Exception&) {
    return false;
  }
}

void TABSTable::CreateTable() {
  CheckInactive();
  CheckTableName();
  Attachment operation(*this, TABSAttachReason::TableOperation);
  std::unique_ptr<TABSCursor> cursor = MakeOperationCursor();
  AddPersistentFieldDefs();
  // Definitions made here from the framework ones are not kept: later changes of FieldDefs
  // and IndexDefs must count for the next creation.
  const bool fields_from_framework = adv_field_defs_.empty();
  const bool indexes_from_framework = adv_index_defs_.empty();
  try {
    PrepareFieldDefinitions(table_name_, FieldDefs(), adv_field_defs_);
    PrepareIndexDefinitions(index_defs_, adv_index_defs_, adv_field_defs_);
    BuildEngineDefinitions(FieldDefs(), adv_field_defs_, adv_index_defs_, Temporary(),
                           engine_defs_);
    RefuseInTransaction(native_error::kCreateTableInTransaction, "CreateTable");
    cursor->CreateTable(engine_defs_.Fields, engine_defs_.Indexes, engine_defs_.Constraints);
  } catch (...) {
    if (fields_from_framework) adv_field_defs_.clear();
    if (indexes_from_framework) adv_index_defs_.clear();
    throw;
  }
  if (fields_from_framework) adv_field_defs_.clear();
  if (indexes_from_framework) adv_index_defs_.clear();
}

void TABSTable::AddIndex(const std::string& name, const std::string& fields, TIndexOptions options,
                         const std::string& descending_fields,
                         const std::string& case_insensitive_fields) {
  Attachment operation(*this, TABSAttachReason::IndexDefs);
  std::unique_ptr<TABSCursor> own_cursor;
  TABSCursor* cursor = cursor_.get();
  if (Active()) {
    CheckBrowseMode();
  } else {
    Attachment reading(*this, TABSAttachReason::ReadingFieldDefs);
    own_cursor = OpenOperationCursor();
    cursor = own_cursor.get();
    cursor->LoadFieldDefs();
    EngineDefsToFieldDefs(cursor->FieldDefs(), cursor->ConstraintDefs(), FieldDefs());
  }
  if (name.empty()) {
    RaiseEngineErrorFmt(native_error::kAddIndexInvalidName, "Invalid index name '%s'", {""});
  }
  if (Trim(fields).empty()) {
    RaiseEngineErrorFmt(native_error::kAddIndexNoFields, "Cannot find index field '%s'", {""});
  }
  RefuseInTransaction(native_error::kAddIndexInTransaction, "AddIndex");
  const std::unique_ptr<TABSIndexDef> definition = BuildIndexDef(
      name, fields, descending_fields, case_insensitive_fields, "", false, options, FieldDefs());
  cursor->LoadFieldDefs();
  if (!cursor->LockTable(TABSLocalCursor::kLockExclusive, kAddIndexLockTries, kAddIndexLockWait)) {
    RaiseEngineErrorFmt(native_error::kTableNotExclusive,
                        "Cannot access table '%s' in exclusive mode. Table is open by another user",
                        {table_name_});
  }
  try {
    cursor->AddIndex(*definition);
  } catch (...) {
    cursor->UnlockTable(TABSLocalCursor::kLockExclusive);
    throw;
  }
  cursor->UnlockTable(TABSLocalCursor::kLockExclusive);
  LoadIndexDefsFromCursor(*cursor);
}

bool TABSTable::ImportTable(TDataSet& source) {
  std::string error_text;
  return ImportTable(source, error_text);
}

bool TABSTable::ImportTable(TDataSet& source, std::string& error_text, const TIndexDefs& indexes) {
  CheckInactive();
  const size_t text_at_entry = error_text.size();
  // A closed source is opened for the import: its rows and its engine definitions are read
  // from the open table.
  const bool source_opened_here = !source.Active();
  if (source_opened_here) source.Open();
  try {
    index_defs_.clear();
    adv_index_defs_.clear();
    FieldDefs().Clear();
    adv_field_defs_.clear();
    CopyDefinitionsFrom(source, indexes, error_text);
    try {
      CreateTable();
    } catch (const Exception& error) {
      error_text += Format("Error importing table. Cannot create table due to error: %s\r\n",
                           {error.Message()});
      if (source_opened_here) source.Close();
      return false;
    }
    CopyRowsFrom(source, error_text);
  } catch (...) {
    if (source_opened_here) source.Close();
    throw;
  }
  if (source_opened_here) source.Close();
  return error_text.size() == text_at_entry;
}

void TABSTable::CopyDefinitionsFrom(TDataSet& source, const TIndexDefs& indexes,
                                    std::string& error_text) {
  const auto* engine_source = dynamic_cast<const TABSDataSet*>(&source);
  if (engine_source != nullptr && !engine_source->AdvFieldDefs().empty()) {
    adv_field_defs_ = engine_source->AdvFieldDefs();
    for (const TABSAdvIndexDef& index : engine_source->AdvIndexDefs()) {
      if (!IsTemporaryIndex(index)) adv_index_defs_.push_back(index);
    }
    return;
  }
  FieldDefs() = source.FieldDefs();
  for (const TIndexDef& index : indexes) {
    if (Trim(index.Fields).empty()) {
      error_text += Format("Cannot import index '%s'. Index type is not supported, index skipped",
                           {index.Name});
      continue;
    }
    TIndexDef copy = index;
    if (copy.Name.empty()) copy.Name = "idxPrimaryKey";
    index_defs_.push_back(copy);
  }
}

void TABSTable::CopyRowsFrom(TDataSet& source, std::string& error_text) {
  Open();
  cursor_->Lock();
  std::string copy_errors;
  try {
    if (BeforeImport) BeforeImport(*this);
    TABSRowCopyOptions options;
    options.TableName = table_name_;
    options.ProgressStart = 0;
    options.ProgressEnd = 100;
    options.ContinueOnError = true;
    if (OnImportProgress) {
      options.Progress = [this](int progress, TDataSet&, bool& go_on) {
        OnImportProgress(*this, progress, go_on);
      };
    }
    bool go_on = true;
    CopyRows(source, *this, options, go_on, copy_errors);
    if (AfterImport) AfterImport(*this);
  } catch (...) {
    cursor_->Unlock();
    Close();
    throw;
  }
  cursor_->Unlock();
  Close();
  if (!copy_errors.empty()) {
    error_text +=
        Format("Error importing table. Cannot copy data due to error: %s\r\n", {copy_errors});
  }
}

void TABSTable::EmptyTable() {
  CheckInactive();
  Attachment operation(*this, TABSAttachReason::TableOperation);
  MakeOperationCursor()->EmptyTable();
}

void TABSTable::DeleteTable() {
  Close();
  CheckTableName();
  Attachment operation(*this, TABSAttachReason::TableOperation);
  RefuseInTransaction(native_error::kDeleteTableInTransaction, "DeleteTable");
  MakeOperationCursor()->DeleteTable();
}

void TABSTable::RenameTable(const std::string& new_name) {
  CheckInactive();
  CheckTableName();
  Attachment operation(*this, TABSAttachReason::TableOperation);
  RefuseInTransaction(native_error::kRenameTableInTransaction, "RenameTable");
  MakeOperationCursor()->RenameTable(new_name);
  table_name_ = new_name;
}

bool CopyTableIntoDatabase(TABSDatabase& source, TABSDatabase& target,
                           const std::string& table_name, double progress_start,
                           double progress_end,
                           const std::function<void(double percent, bool& go_on)>& progress,
                           std::string& error_text) {
  try {
    TABSTable source_table;
    source_table.SetSessionName(source.SessionName());
    source_table.SetDatabaseName(source.DatabaseName());
    source_table.SetTableName(table_name);
    source_table.Open();
    TABSTable target_table;
    target_table.SetSessionName(target.SessionName());
    target_table.SetDatabaseName(target.DatabaseName());
    target_table.SetTableName(table_name);
    bool stopped = false;
    target_table.OnImportProgress = [&](TABSTable&, int percent, bool& go_on) {
      if (progress) {
        progress(progress_start + percent * (progress_end - progress_start) / 100.0, go_on);
      }
      stopped = !go_on;
    };
    return target_table.ImportTable(source_table, error_text) && !stopped;
  } catch (const Exception& error) {
    error_text += error.Message();
    return false;
  }
}

void RegisterTableCopier() {
  static std::once_flag registered;
  std::call_once(registered, [] { SetTableCopier(CopyTableIntoDatabase); });
}

}  // namespace tabshift
