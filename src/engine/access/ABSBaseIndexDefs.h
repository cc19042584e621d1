// Engine index definitions: the key columns of an index, its flags and the root of its
// B-tree, and the list of a table's indexes. Temporary indexes live in one session only and
// are never written to the table metadata record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSBaseMetaObjects.h"

namespace tabshift {

// Bytes of a column's value that take part in the key when no size is given.
inline constexpr int32_t kDefaultMaxIndexedSize = 20;

struct TABSIndexColumn {
  std::string ColumnName;
  bool Descending = false;
  bool CaseInsensitive = false;
  int32_t MaxIndexedSize = kDefaultMaxIndexedSize;

  bool operator==(const TABSIndexColumn&) const = default;
};

class TABSIndexDef : public TABSMetaObjectDef {
 public:
  const char* ClassName() const override { return "TABSIndexDef"; }
  void Assign(const TABSMetaObjectDef& source) override;
  // A definition read from a stream is never temporary.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // Temporary, OwnerSessionID and VersionStamp are not compared: they are never stored.
  bool Equals(const TABSMetaObjectDef& other) const override;

  int ColumnCount() const { return static_cast<int>(Columns.size()); }
  // New columns are added, surplus ones freed, at the end.
  void SetColumnCount(int count);

  uint8_t IndexKind = 0;
  std::vector<TABSIndexColumn> Columns;
  bool Unique = false;
  bool Primary = false;
  int32_t RootPageNo = -1;
  bool Temporary = false;
  int32_t OwnerSessionID = -1;
  // Grows by one whenever a row change updates the index.
  int32_t VersionStamp = 0;
};

class TABSIndexDefs : public TABSTypedMetaObjectDefs<TABSIndexDef> {
 public:
  const char* ClassName() const override { return "TABSIndexDefs"; }
  // Only the indexes that are not temporary are counted and written.
  void SaveToStream(TStream& stream) const override;

  TABSIndexDef& GetItem(int index) const { return Item(index); }
  // Replaces (and frees) the definition at `index`.
  void SetItem(int index, std::unique_ptr<TABSIndexDef> object);
};

}  // namespace tabshift
