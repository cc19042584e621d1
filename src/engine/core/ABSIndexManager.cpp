#include "engine/core/ABSIndexManager.h"

#include <algorithm>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSBTreeTableIndex.h"
#include "engine/core/ABSDatabaseData.h"
#include "engine/core/ABSTableData.h"
#include "framework/Text.h"
#include "platform/System.h"

namespace tabshift {

namespace {

constexpr int32_t kIndexNotFound = 20018;

bool SameColumns(const std::vector<TABSIndexColumn>& left,
                 const std::vector<TABSIndexColumn>& right) {
  if (left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); ++i) {
    if (!SameText(left[i].ColumnName, right[i].ColumnName) ||
        left[i].Descending != right[i].Descending ||
        left[i].CaseInsensitive != right[i].CaseInsensitive) {
      return false;
    }
  }
  return true;
}

}  // namespace

TABSIndex::TABSIndex(const TABSIndexDef& definition, TABSBaseIndexManager& owner) : owner_(owner) {
  AssignDefinition(definition);
}

void TABSIndex::AssignDefinition(const TABSIndexDef& definition) {
  if (&definition != &definition_) definition_.Assign(definition);
}

TABSBaseIndexManager::TABSBaseIndexManager(TABSTableData* table, TABSPageManager* pages,
                                           TABSPageManager* temporary_pages)
    : table_(table), pages_(pages), temporary_pages_(temporary_pages) {}

TABSBaseIndexManager::~TABSBaseIndexManager() = default;

void TABSBaseIndexManager::LoadFromStream(TStream& stream) {
  ForgetIndexObjects();
  index_defs_.LoadFromStream(stream);
}

void TABSBaseIndexManager::SaveToStream(TStream& stream) const {
  index_defs_.SaveToStream(stream);
}

void TABSBaseIndexManager::CopyDefinitions(const TABSIndexDefs& defs) {
  ForgetIndexObjects();
  index_defs_.Assign(defs);
}

TABSIndex& TABSBaseIndexManager::GetIndex(int32_t object_id) {
  for (const auto& index : indexes_) {
    if (index->Definition().ObjectID == object_id) return *index;
  }
  TABSIndexDef* definition = index_defs_.ItemByObjectID(object_id);
  if (definition == nullptr) RaiseEngineError(kIndexNotFound, "Index not found");
  return CreateIndexObject(*definition);
}

TABSIndex& TABSBaseIndexManager::CreateIndexObject(TABSIndexDef& definition) {
  TABSPageManager& pages = definition.Temporary ? *temporary_pages_ : *pages_;
  indexes_.push_back(std::make_unique<TABSBTreeTableIndex>(definition, *this, pages));
  return *indexes_.back();
}

void TABSBaseIndexManager::BuildIndex(int32_t session, TABSIndex& index) {
  TABSBaseRecordManager* records = table_->RecordManager();
  if (records == nullptr || records->RecordCount() == 0) return;
  std::vector<uint8_t> record(static_cast<size_t>(records->RecordSize()));
  TABSNavigationRequest request;
  request.direction = TABSReadDirection::Next;
  request.record_buffer = record.data();
  request.at_beginning = true;
  for (;;) {
    records->ReadRecord(session, request);
    if (request.result != TABSReadResult::Found) break;
    index.InsertRecord(session, record.data(), request.record_id);
  }
  CopyRootBack(index);
}

void TABSBaseIndexManager::CopyRootBack(TABSIndex& index) {
  TABSIndexDef* definition = index_defs_.ItemByObjectID(index.Definition().ObjectID);
  if (definition != nullptr && definition->RootPageNo != index.RootPageNo()) {
    definition->RootPageNo = index.RootPageNo();
  }
  index.Definition().RootPageNo = index.RootPageNo();
}

void TABSBaseIndexManager::CreateAllIndexes(int32_t session) {
  ForgetIndexObjects();
  for (int i = 0; i < index_defs_.Count();) {
    TABSIndexDef& definition = index_defs_.Item(i);
    try {
      TABSIndex& index = CreateIndexObject(definition);
      index.CreateIndex(session);
      BuildIndex(session, index);
      ++i;
    } catch (...) {
      ForgetIndexObjects();
      index_defs_.Delete(i);
      throw;
    }
  }
}

int32_t TABSBaseIndexManager::AddIndex(int32_t session, const TABSIndexDef& definition) {
  auto copy = std::make_unique<TABSIndexDef>();
  copy->Assign(definition);
  copy->ObjectID = table_->Database().NextObjectId();
  if (table_->RecordManager() != nullptr) {
    copy->VersionStamp = table_->RecordManager()->ChangeCounter();
  }
  const int position = index_defs_.Add(std::move(copy));
  TABSIndexDef& added = index_defs_.Item(position);
  try {
    TABSIndex& index = CreateIndexObject(added);
    index.CreateIndex(session);
    BuildIndex(session, index);
  } catch (...) {
    const int32_t object_id = added.ObjectID;
    std::erase_if(indexes_,
                  [&](const auto& item) { return item->Definition().ObjectID == object_id; });
    index_defs_.Delete(position);
    throw;
  }
  return added.ObjectID;
}

void TABSBaseIndexManager::DropIndex(int32_t session, int32_t object_id) {
  const int position = index_defs_.FindByObjectID(object_id);
  if (position < 0) RaiseEngineError(kIndexNotFound, "Index not found");
  GetIndex(object_id).DropIndex(session);
  std::erase_if(indexes_,
                [&](const auto& item) { return item->Definition().ObjectID == object_id; });
  index_defs_.Delete(position);
}

void TABSBaseIndexManager::EmptyAllIndexes(int32_t session) {
  for (int i = 0; i < index_defs_.Count(); ++i) {
    GetIndex(index_defs_.Item(i).ObjectID).EmptyIndex(session);
  }
  ForgetIndexObjects();
}

void TABSBaseIndexManager::DropAllIndexes(int32_t session) {
  for (int i = 0; i < index_defs_.Count(); ++i) {
    GetIndex(index_defs_.Item(i).ObjectID).DropIndex(session);
  }
  ForgetIndexObjects();
}

void TABSBaseIndexManager::ForgetIndexObjects() {
  indexes_.clear();
}

void TABSBaseIndexManager::BumpVersionStamps() {
  for (int i = 0; i < index_defs_.Count(); ++i) ++index_defs_.Item(i).VersionStamp;
  for (const auto& index : indexes_) ++index->Definition().VersionStamp;
}

void TABSBaseIndexManager::InsertRecord(int32_t session, const uint8_t* record,
                                        const TABSRecordId& record_id) {
  int inserted = 0;
  try {
    for (; inserted < index_defs_.Count(); ++inserted) {
      TABSIndex& index = GetIndex(index_defs_.Item(inserted).ObjectID);
      index.InsertRecord(session, record, record_id);
      if (index.RootPageNo() != index_defs_.Item(inserted).RootPageNo) CopyRootBack(index);
    }
  } catch (...) {
    // A record is in all indexes or in none.
    for (int i = 0; i < inserted; ++i) {
      GetIndex(index_defs_.Item(i).ObjectID).DeleteRecord(session, record, record_id);
    }
    throw;
  }
}

void TABSBaseIndexManager::DeleteRecord(int32_t session, const uint8_t* record,
                                        const TABSRecordId& record_id) {
  for (int i = 0; i < index_defs_.Count(); ++i) {
    GetIndex(index_defs_.Item(i).ObjectID).DeleteRecord(session, record, record_id);
  }
}

std::string TABSBaseIndexManager::NewTemporaryIndexName() const {
  std::string name;
  do {
    name = "TEMPORARY_INDEX_" + platform::NewGuidText();
  } while (index_defs_.FindByName(name) >= 0);
  return name;
}

int32_t TABSBaseIndexManager::FindOrAddSortIndex(int32_t session,
                                                 const std::vector<TABSIndexColumn>& columns) {
  for (int i = 0; i < index_defs_.Count(); ++i) {
    const TABSIndexDef& definition = index_defs_.Item(i);
    if (SameColumns(definition.Columns, columns) &&
        (!definition.Temporary || definition.OwnerSessionID == session)) {
      return definition.ObjectID;
    }
  }
  TABSIndexDef definition;
  definition.Name = NewTemporaryIndexName();
  definition.Columns = columns;
  definition.Temporary = true;
  definition.OwnerSessionID = session;
  return AddIndex(session, definition);
}

void TABSBaseIndexManager::RefreshTemporaryIndexes(int32_t session) {
  TABSBaseRecordManager* records = table_->RecordManager();
  if (rebuilding_ || records == nullptr) return;
  rebuilding_ = true;
  try {
    for (int i = 0; i < index_defs_.Count(); ++i) {
      TABSIndexDef& definition = index_defs_.Item(i);
      if (!definition.Temporary || definition.OwnerSessionID != session ||
          definition.VersionStamp == records->ChangeCounter()) {
        continue;
      }
      TABSIndex& index = GetIndex(definition.ObjectID);
      index.EmptyIndex(session);
      BuildIndex(session, index);
      definition.VersionStamp = records->ChangeCounter();
      index.Definition().VersionStamp = definition.VersionStamp;
    }
  } catch (...) {
    rebuilding_ = false;
    throw;
  }
  rebuilding_ = false;
}

}  // namespace tabshift
