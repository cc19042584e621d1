#include "engine/core/ABSBTreeTableIndex.h"

#include "engine/access/ABSExcept.h"
#include "engine/core/ABSTableData.h"

namespace tabshift {

TABSBTreeTableIndex::TABSBTreeTableIndex(const TABSIndexDef& definition,
                                         TABSBaseIndexManager& owner, TABSPageManager& pages)
    : TABSIndex(definition, owner),
      tree_(std::make_unique<TABSBTreeRecordIndex>(pages, static_cast<TABSIndexTableAccess&>(*this),
                                                   Describe())) {}

TABSBTreeTableIndex::~TABSBTreeTableIndex() = default;

TABSIndexDescription TABSBTreeTableIndex::Describe() {
  const TABSIndexDef& definition = Definition();
  const TABSFieldDefs& fields = Owner().Table().FieldManager()->FieldDefs();
  TABSIndexDescription description;
  description.index_id = definition.ObjectID;
  description.unique = definition.Unique;
  description.primary = definition.Primary;
  description.root_page_no = definition.RootPageNo;
  for (const TABSIndexColumn& column : definition.Columns) {
    const int field_no = fields.FindByName(column.ColumnName);
    if (field_no < 0) {
      RaiseEngineErrorFmt(20050, "Cannot find index field '%s'", {column.ColumnName});
    }
    const TABSFieldDef& field = fields.Item(field_no);
    TABSIndexColumnInfo info;
    info.field_name = field.Name;
    info.field_no = field_no;
    info.base_type = field.BaseType;
    info.buffer_offset = field.BufferOffset;
    info.buffer_size = field.BufferSize;
    info.max_indexed_size = column.MaxIndexedSize;
    info.descending = column.Descending;
    info.case_insensitive = column.CaseInsensitive;
    description.columns.push_back(info);
  }
  return description;
}

std::vector<uint8_t> TABSBTreeTableIndex::Copy(const uint8_t* record) const {
  const auto size = static_cast<size_t>(
      const_cast<TABSBTreeTableIndex*>(this)->Owner().Table().FieldManager()->RecordBufferSize());
  return std::vector<uint8_t>(record, record + size);
}

bool TABSBTreeTableIndex::ReadRecordBuffer(int32_t session, const TABSRecordId& record_id,
                                           std::vector<uint8_t>& record) {
  TABSBaseRecordManager* records = Owner().Table().RecordManager();
  if (records == nullptr) return false;
  record.resize(static_cast<size_t>(records->RecordSize()));
  TABSNavigationRequest request;
  request.record_id = record_id;
  request.record_buffer = record.data();
  records->ReadRecord(session, request);
  return request.result == TABSReadResult::Found;
}

void TABSBTreeTableIndex::CreateIndex(int32_t session) {
  tree_->BuildIndex(session, [](TABSRecordId&, std::vector<uint8_t>&) { return false; });
  position_cache_.Invalidate();
}

void TABSBTreeTableIndex::DropIndex(int32_t session) {
  if (tree_->RootPageNo() >= 0) tree_->FreeIndex(session);
  position_cache_.Invalidate();
}

void TABSBTreeTableIndex::EmptyIndex(int32_t session) {
  if (tree_->RootPageNo() >= 0) tree_->ClearIndex(session);
  position_cache_.Invalidate();
}

void TABSBTreeTableIndex::InsertRecord(int32_t session, const uint8_t* record,
                                       const TABSRecordId& record_id) {
  tree_->InsertKey(session, Copy(record), record_id);
}

void TABSBTreeTableIndex::DeleteRecord(int32_t session, const uint8_t* record,
                                       const TABSRecordId& record_id) {
  tree_->DeleteKey(session, Copy(record), record_id);
}

bool TABSBTreeTableIndex::KeyExists(int32_t session, const uint8_t* record,
                                    const TABSRecordId& record_id) {
  const bool own = record_id.page_no >= 0;
  return !tree_->IsKeyAbsent(session, Copy(record), own ? &record_id : nullptr);
}

void TABSBTreeTableIndex::ReadRecordId(int32_t session, TABSNavigationRequest& request,
                                       const uint8_t* key_record) {
  TABSIndexNavigation navigation;
  navigation.direction = request.direction == TABSReadDirection::Prior ? TABSIndexNavigation::kPrior
                                                                       : TABSIndexNavigation::kNext;
  navigation.record_id = request.record_id;
  navigation.record = Copy(key_record);
  navigation.at_beginning = request.at_beginning;
  navigation.at_end = request.at_end;
  TABSBaseRecordManager* records = Owner().Table().RecordManager();
  tree_->ReadInOrder(session, navigation, records->ChangeCounter(), position_cache_);
  request.record_id = navigation.record_id;
  request.at_beginning = navigation.at_beginning;
  request.at_end = navigation.at_end;
  request.result = static_cast<TABSReadResult>(navigation.result);
}

}  // namespace tabshift
