// The index manager of a table: its index definitions, the live index objects built from them,
// their maintenance on every row change and the temporary indexes that serve sort orders.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSBaseIndexDefs.h"
#include "engine/core/ABSRecordManager.h"

namespace tabshift {

class TABSPageManager;
class TABSBaseIndexManager;
class TABSTableData;

// What the table data needs of an index: key maintenance, the uniqueness test and reading in
// key order. Index kinds (the B-tree) derive from it.
class TABSIndex {
 public:
  TABSIndex(const TABSIndexDef& definition, TABSBaseIndexManager& owner);
  TABSIndex(const TABSIndex&) = delete;
  TABSIndex& operator=(const TABSIndex&) = delete;
  virtual ~TABSIndex() = default;

  // Takes a copy of the definition unless it is the same object.
  void AssignDefinition(const TABSIndexDef& definition);
  TABSIndexDef& Definition() { return definition_; }
  TABSBaseIndexManager& Owner() { return owner_; }

  // Creates the index's storage (a new, empty index).
  virtual void CreateIndex(int32_t session) = 0;
  // Removes every key and the storage.
  virtual void DropIndex(int32_t session) = 0;
  // Removes every key, keeping the index usable.
  virtual void EmptyIndex(int32_t session) = 0;
  virtual void InsertRecord(int32_t session, const uint8_t* record,
                            const TABSRecordId& record_id) = 0;
  virtual void DeleteRecord(int32_t session, const uint8_t* record,
                            const TABSRecordId& record_id) = 0;
  // Whether another record than `record_id` has the record's key.
  virtual bool KeyExists(int32_t session, const uint8_t* record, const TABSRecordId& record_id) = 0;
  // Moves through the records in key order. With Current the request's record id must still be
  // in the index; Next and Prior go from `key_record` with `record_id`, or from the beginning
  // or end when the request's flags say so. Fills the request's record id and result.
  virtual void ReadRecordId(int32_t session, TABSNavigationRequest& request,
                            const uint8_t* key_record) = 0;
  virtual int32_t RootPageNo() const = 0;

 private:
  TABSIndexDef definition_;
  TABSBaseIndexManager& owner_;
};

class TABSBaseIndexManager {
 public:
  TABSBaseIndexManager(TABSTableData* table, TABSPageManager* pages,
                       TABSPageManager* temporary_pages);
  TABSBaseIndexManager(const TABSBaseIndexManager&) = delete;
  TABSBaseIndexManager& operator=(const TABSBaseIndexManager&) = delete;
  virtual ~TABSBaseIndexManager();

  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  virtual void CopyDefinitions(const TABSIndexDefs& defs);

  TABSIndexDefs& IndexDefs() { return index_defs_; }
  TABSTableData& Table() { return *table_; }

  // The index object of a definition's ObjectID, made on first use; 20018 without definition.
  TABSIndex& GetIndex(int32_t object_id);
  // Creates the storage of every defined index and fills it from the records; a definition
  // whose index cannot be made is removed and the error passed on.
  void CreateAllIndexes(int32_t session);
  // Appends a copy with a new ObjectID, creates and fills its index; returns the ObjectID.
  int32_t AddIndex(int32_t session, const TABSIndexDef& definition);
  void DropIndex(int32_t session, int32_t object_id);
  // Empties every index and forgets the index objects.
  void EmptyAllIndexes(int32_t session);
  // Drops every index's storage and forgets the index objects.
  void DropAllIndexes(int32_t session);

  void InsertRecord(int32_t session, const uint8_t* record, const TABSRecordId& record_id);
  void DeleteRecord(int32_t session, const uint8_t* record, const TABSRecordId& record_id);
  // Every row change the record store counts grows every index's version stamp by one.
  void BumpVersionStamps();

  // An index matching the columns; failing that, a new temporary index for the session.
  int32_t FindOrAddSortIndex(int32_t session, const std::vector<TABSIndexColumn>& columns);
  // Rebuilds the session's temporary indexes whose stamp differs from the change counter.
  void RefreshTemporaryIndexes(int32_t session);

 private:
  TABSIndex& CreateIndexObject(TABSIndexDef& definition);
  void BuildIndex(int32_t session, TABSIndex& index);
  void CopyRootBack(TABSIndex& index);
  void ForgetIndexObjects();
  std::string NewTemporaryIndexName() const;

  TABSTableData* table_;
  TABSIndexDefs index_defs_;
  std::vector<std::unique_ptr<TABSIndex>> indexes_;
  TABSPageManager* pages_;
  TABSPageManager* temporary_pages_;
  bool rebuilding_ = false;
};

}  // namespace tabshift
