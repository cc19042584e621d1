// The table component: creates, fills, reads, empties, renames and drops one table of a
// database. Operations on a closed table run with an engine cursor of their own that lives
// only for the operation; the dataset stays closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/access/ABSMainDataSet.h"

namespace tabshift {

namespace native_error {
// "Cannot perform '%s' operation on a database in transaction"
inline constexpr int32_t kAddIndexInTransaction = 20175;
inline constexpr int32_t kRenameTableInTransaction = 20181;
inline constexpr int32_t kCreateTableInTransaction = 20182;
inline constexpr int32_t kDeleteTableInTransaction = 20183;
inline constexpr int32_t kAddIndexInvalidName = 20046;  // "Invalid index name '%s'"
inline constexpr int32_t kAddIndexNoFields = 20047;     // "Cannot find index field '%s'"
// "Cannot access table '%s' in exclusive mode. Table is open by another user"
inline constexpr int32_t kTableNotExclusive = 20228;
}  // namespace native_error

class TABSTable : public TABSDataSet {
 public:
  // The exclusive table lock AddIndex takes, and how long it tries.
  static constexpr int32_t kAddIndexLockTries = 50;
  static constexpr int32_t kAddIndexLockWait = 100;

  explicit TABSTable(TComponent* owner = nullptr);
  ~TABSTable() override;

  const char* ClassName() const override { return "TABSTable"; }

  const std::string& TableName() const { return table_name_; }
  void SetTableName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  const std::string& IndexName() const { return index_name_; }
  void SetIndexName(const std::string& name);
  const std::string& IndexFieldNames() const { return index_field_names_; }
  void SetIndexFieldNames(const std::string& names);

  // Whether the table exists; false on any failure and when DatabaseName is empty.
  bool Exists();
  // Creates the table from the field and index definitions; an existing table of the name is
  // replaced.
  void CreateTable();
  // Adds an index over the fields (separated by "," or ";") to the existing table.
  void AddIndex(const std::string& name, const std::string& fields, TIndexOptions options = 0,
                const std::string& descending_fields = "",
                const std::string& case_insensitive_fields = "");
  // Replaces the definitions by the source's, creates the table and copies the source's rows
  // into it, collecting errors. True when no error text was produced; the table is closed
  // afterwards. `indexes` are imported from a source that is not an engine dataset.
  bool ImportTable(TDataSet& source);
  bool ImportTable(TDataSet& source, std::string& error_text, const TIndexDefs& indexes = {});
  // Deletes every row of the closed table; its definitions and indexes stay.
  void EmptyTable();
  // Closes the table if open and drops it.
  void DeleteTable();
  void RenameTable(const std::string& new_name);

  std::function<void(TABSTable& sender)> BeforeImport;
  std::function<void(TABSTable& sender, int progress, bool& go_on)> OnImportProgress;
  std::function<void(TABSTable& sender)> AfterImport;

 protected:
  std::unique_ptr<TABSCursor> OpenTableCursor() override;
  void SelectIndex() override;

 private:
  void CheckTableName() const;
  // An open table changes its order at once and stands on its first row in the new order.
  void ApplyIndex();
  // A cursor of the operation: exclusive and writable.
  std::unique_ptr<TABSCursor> MakeOperationCursor() const;
  // A temporary cursor open on the existing table.
  std::unique_ptr<TABSCursor> OpenOperationCursor();
  void RefuseInTransaction(int32_t native_error, const char* operation) const;
  // Reads the framework field definitions of the existing table.
  void UpdateFieldDefs();
  void CopyDefinitionsFrom(TDataSet& source, const TIndexDefs& indexes, std::string& error_text);
  void CopyRowsFrom(TDataSet& source, std::string& error_text);

  std::string table_name_;
  bool exclusive_ = false;
  std::string index_name_;
  std::string index_field_names_;
};

// Copies one table of `source` (structure and rows) into `target` by importing it into a new
// table of the same name there: the table copy databases run while they are repaired or
// converted. Progress from `progress_start` to `progress_end`; false with the error text
// extended when anything was not copied.
bool CopyTableIntoDatabase(TABSDatabase& source, TABSDatabase& target,
                           const std::string& table_name, double progress_start,
                           double progress_end,
                           const std::function<void(double percent, bool& go_on)>& progress,
                           std::string& error_text);

// Makes CopyTableIntoDatabase the table copy of database repair. Every table component does
// it when it is made; a program that repairs before it makes one calls it first.
void RegisterTableCopier();

}  // namespace tabshift
