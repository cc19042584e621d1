// Engine field definitions: the declared and storage types of a field with their sizes, its
// place in the record buffer and the stored record, its default value, BLOB compression
// settings and auto-increment sequence; and the list of a table's fields, which lays out the
// records.
#pragma once

#include <cstdint>

#include "engine/access/ABSBaseMetaObjects.h"
#include "engine/access/ABSConverts.h"
#include "engine/access/ABSVariant.h"

namespace tabshift {

// Block size of a compressed BLOB stream unless a field sets its own.
inline constexpr int32_t kDefaultBlobBlockSize = 102400;

// Same type and both NULL, or same type and the same bytes.
bool SameValue(const TABSVariant& left, const TABSVariant& right);

class TABSFieldDef : public TABSMetaObjectDef {
 public:
  const char* ClassName() const override { return "TABSFieldDef"; }
  void Assign(const TABSMetaObjectDef& source) override;
  // Reading recomputes the sizes from the base type and the declared size.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // The members kept in the stored form; the BLOB settings only for BLOB base types.
  bool Equals(const TABSMetaObjectDef& other) const override;

  // Stores the declared type and size and derives the base type and both sizes; a type
  // without a base type raises "Unsupported data type '%s'".
  void SetDataType(AdvancedDataType advanced, int32_t size);
  // The value of the sequence after `last`: last + AutoincIncrement (+ 1 for an increment of
  // 0). Past a non-zero AutoincMaxValue, or past the int64 range, it restarts at
  // AutoincMinValue when cycled and otherwise raises "Autoinc max value exceeded for field
  // '%s'".
  int64_t NextAutoincValue(int64_t last) const;

  BaseDataType BaseType = bdtUnknown;
  AdvancedDataType AdvancedType = adtUnknown;
  int32_t Size = 0;
  int32_t StoredSize = 0;
  int32_t BufferSize = 0;
  int32_t StoredOffset = 0;
  int32_t BufferOffset = 0;
  int32_t FieldNo = 0;
  TABSVariant DefaultValue;
  uint8_t BlobCompressionAlgorithm = 0;  // 0 none, 1 zlib, 2 bzip, 3 ppm
  uint8_t BlobCompressionMode = 0;       // level 1 to 9
  int32_t BlobBlockSize = kDefaultBlobBlockSize;
  int64_t AutoincIncrement = 1;
  int64_t AutoincInitialValue = 0;
  int64_t AutoincMinValue = 0;
  int64_t AutoincMaxValue = INT64_MAX;
  bool AutoincCycled = false;

 private:
  void ComputeSizes();
};

// The lengths of a record laid out by ComputeOffsets.
struct TABSRecordSizes {
  int32_t NullFlagsSize = 0;
  int32_t BufferSize = 0;  // record buffer
  int32_t StoredSize = 0;  // stored record
};

class TABSFieldDefs : public TABSTypedMetaObjectDefs<TABSFieldDef> {
 public:
  const char* ClassName() const override { return "TABSFieldDefs"; }
  // Places the fields in list order after a null-flag area of one bit per field.
  TABSRecordSizes ComputeOffsets();
};

}  // namespace tabshift
