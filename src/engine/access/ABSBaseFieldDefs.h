// Engine field definitions: a field's name, declared and base type, its layout in a record
// buffer and a stored record, default value, BLOB settings and auto-increment sequence.
#pragma once

#include <cstdint>
#include <limits>

#include "engine/access/ABSBaseMetaObjects.h"
#include "engine/access/ABSConverts.h"
#include "engine/access/ABSVariant.h"

namespace tabshift {

inline constexpr int32_t kDefaultBlobBlockSize = 102400;

class TABSFieldDef : public TABSMetaObjectDef {
 public:
  const char* ClassName() const override { return "TABSFieldDef"; }
  void Assign(const TABSMetaObjectDef& source) override;

  // Stores the declared type and size and recomputes both data sizes; a type without a base
  // type fails with 30007.
  void SetDataType(AdvancedDataType advanced, int32_t size);

  BaseDataType BaseType = bdtUnknown;
  AdvancedDataType AdvancedType = adtUnknown;
  int32_t Size = 0;
  int32_t StoredSize = 0;
  int32_t BufferSize = 0;
  int32_t StoredOffset = 0;
  int32_t BufferOffset = 0;
  TABSVariant DefaultValue;
  uint8_t BlobCompressionAlgorithm = 0;
  uint8_t BlobCompressionMode = 0;
  int32_t BlobBlockSize = kDefaultBlobBlockSize;
  int64_t AutoincIncrement = 1;
  int64_t AutoincInitialValue = 0;
  int64_t AutoincMinValue = 0;
  int64_t AutoincMaxValue = std::numeric_limits<int64_t>::max();
  bool AutoincCycled = false;
};

class TABSFieldDefs : public TABSTypedMetaObjectDefs<TABSFieldDef> {
 public:
  const char* ClassName() const override { return "TABSFieldDefs"; }
  void Assign(const TABSMetaObjectDefs& other) override;
  // Lays the fields out behind the null-flag area, in list order.
  void ComputeOffsets();
};

}  // namespace tabshift
