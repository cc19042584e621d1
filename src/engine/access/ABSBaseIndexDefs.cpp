#include "engine/access/ABSBaseIndexDefs.h"

#include "engine/access/ABSBaseCodes.h"

namespace tabshift {
namespace {

void SaveColumn(TABSMetaWriter& writer, const TABSIndexColumn& column) {
  writer.WriteShortName(column.ColumnName, meta_code::kWriteColumnName);
  writer.WriteFlag(column.Descending, meta_code::kWriteDescending);
  writer.WriteFlag(column.CaseInsensitive, meta_code::kWriteCaseInsensitive);
  writer.WriteInt32(column.MaxIndexedSize, meta_code::kWriteMaxIndexedSize);
}

TABSIndexColumn LoadColumn(TABSMetaReader& reader) {
  TABSIndexColumn column;
  column.ColumnName = reader.ReadShortName(meta_code::kReadColumnName);
  column.Descending = reader.ReadFlag(meta_code::kReadDescending);
  column.CaseInsensitive = reader.ReadFlag(meta_code::kReadCaseInsensitive);
  column.MaxIndexedSize = reader.ReadInt32(meta_code::kReadMaxIndexedSize);
  return column;
}

}  // namespace

void TABSIndexDef::Assign(const TABSMetaObjectDef& source) {
  TABSMetaObjectDef::Assign(source);
  const auto* index = dynamic_cast<const TABSIndexDef*>(&source);
  if (index == nullptr) return;
  IndexKind = index->IndexKind;
  Columns = index->Columns;
  Unique = index->Unique;
  Primary = index->Primary;
  RootPageNo = index->RootPageNo;
  Temporary = index->Temporary;
  OwnerSessionID = index->OwnerSessionID;
  VersionStamp = index->VersionStamp;
}

void TABSIndexDef::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  TABSMetaReader reader(stream);
  IndexKind = reader.ReadUInt8(meta_code::kReadIndexKind);
  Unique = reader.ReadFlag(meta_code::kReadUnique);
  Primary = reader.ReadFlag(meta_code::kReadPrimary);
  const int32_t column_count = reader.ReadCount(meta_code::kReadColumnCount);
  RootPageNo = reader.ReadInt32(meta_code::kReadRootPageNo);
  Temporary = false;
  Columns.clear();
  for (int32_t i = 0; i < column_count; ++i) Columns.push_back(LoadColumn(reader));
}

void TABSIndexDef::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  TABSMetaWriter writer(stream);
  writer.WriteUInt8(IndexKind, meta_code::kWriteIndexKind);
  writer.WriteFlag(Unique, meta_code::kWriteUnique);
  writer.WriteFlag(Primary, meta_code::kWritePrimary);
  writer.WriteInt32(ColumnCount(), meta_code::kWriteColumnCount);
  writer.WriteInt32(RootPageNo, meta_code::kWriteRootPageNo);
  for (const TABSIndexColumn& column : Columns) SaveColumn(writer, column);
}

bool TABSIndexDef::Equals(const TABSMetaObjectDef& other) const {
  if (!TABSMetaObjectDef::Equals(other)) return false;
  const auto& index = static_cast<const TABSIndexDef&>(other);
  return IndexKind == index.IndexKind && Columns == index.Columns && Unique == index.Unique &&
         Primary == index.Primary && RootPageNo == index.RootPageNo;
}

void TABSIndexDef::SetColumnCount(int count) {
  Columns.resize(static_cast<size_t>(count < 0 ? 0 : count));
}

void TABSIndexDefs::SaveToStream(TStream& stream) const {
  int32_t stored = 0;
  for (int i = 0; i < Count(); ++i) stored += Item(i).Temporary ? 0 : 1;
  TABSMetaWriter(stream).WriteInt32(stored, meta_code::kWriteIndexCount);
  for (int i = 0; i < Count(); ++i) {
    if (!Item(i).Temporary) Item(i).SaveToStream(stream);
  }
}

void TABSIndexDefs::SetItem(int index, std::unique_ptr<TABSIndexDef> object) {
  GetItem(index);  // refuses an index outside the list before anything changes
  Insert(index, std::move(object));
  Delete(index + 1);
}

}  // namespace tabshift
