#include "engine/access/ABSBaseFieldDefs.h"

#include <algorithm>
#include <limits>

#include "engine/access/ABSBaseCodes.h"
#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

// The largest declared size whose buffer size, (size + 1) × 2 for wide text, fits an int32.
constexpr int32_t kMaxDeclaredSize = std::numeric_limits<int32_t>::max() / 2 - 1;

}  // namespace

bool SameValue(const TABSVariant& left, const TABSVariant& right) {
  if (left.Type() != right.Type() || left.IsNull() != right.IsNull()) return false;
  if (left.IsNull()) return true;
  return left.Size() == right.Size() &&
         std::equal(left.Buffer(), left.Buffer() + left.Size(), right.Buffer());
}

void TABSFieldDef::Assign(const TABSMetaObjectDef& source) {
  TABSMetaObjectDef::Assign(source);
  const auto* field = dynamic_cast<const TABSFieldDef*>(&source);
  if (field == nullptr) return;
  BaseType = field->BaseType;
  AdvancedType = field->AdvancedType;
  Size = field->Size;
  StoredSize = field->StoredSize;
  BufferSize = field->BufferSize;
  StoredOffset = field->StoredOffset;
  BufferOffset = field->BufferOffset;
  FieldNo = field->FieldNo;
  DefaultValue = field->DefaultValue;
  BlobCompressionAlgorithm = field->BlobCompressionAlgorithm;
  BlobCompressionMode = field->BlobCompressionMode;
  BlobBlockSize = field->BlobBlockSize;
  AutoincIncrement = field->AutoincIncrement;
  AutoincInitialValue = field->AutoincInitialValue;
  AutoincMinValue = field->AutoincMinValue;
  AutoincMaxValue = field->AutoincMaxValue;
  AutoincCycled = field->AutoincCycled;
}

void TABSFieldDef::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  TABSMetaReader reader(stream);
  const uint8_t base = reader.ReadUInt8(meta_code::kReadBaseType);
  if (base == bdtUnknown || base >= kBaseDataTypeCount) {
    reader.RaiseMalformed(meta_code::kReadBaseType, "base type", base);
  }
  BaseType = static_cast<BaseDataType>(base);
  const uint8_t advanced = reader.ReadUInt8(meta_code::kReadAdvancedType);
  if (AdvancedToBase(static_cast<AdvancedDataType>(advanced)) == bdtUnknown) {
    reader.RaiseMalformed(meta_code::kReadAdvancedType, "advanced type", advanced);
  }
  AdvancedType = static_cast<AdvancedDataType>(advanced);
  Size = reader.ReadInt32(meta_code::kReadSize);
  if (Size < 0 || Size > kMaxDeclaredSize)
    reader.RaiseMalformed(meta_code::kReadSize, "size", Size);
  if (IsBaseBlobType(BaseType)) {
    BlobCompressionAlgorithm = reader.ReadUInt8(meta_code::kReadBlobAlgorithm);
    BlobCompressionMode = reader.ReadUInt8(meta_code::kReadBlobMode);
    BlobBlockSize = reader.ReadInt32(meta_code::kReadBlobBlockSize);
  }
  int64_t* sequence[] = {&AutoincIncrement, &AutoincInitialValue, &AutoincMinValue,
                         &AutoincMaxValue};
  for (size_t i = 0; i < std::size(sequence); ++i) {
    *sequence[i] = reader.ReadInt64(meta_code::kReadAutoinc[i]);
  }
  AutoincCycled = reader.ReadFlag(meta_code::kReadAutoincCycled);
  DefaultValue.LoadFromStream(stream, kDefaultValueReadCodes);
  ComputeSizes();
}

void TABSFieldDef::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  TABSMetaWriter writer(stream);
  writer.WriteUInt8(BaseType, meta_code::kWriteBaseType);
  writer.WriteUInt8(AdvancedType, meta_code::kWriteAdvancedType);
  writer.WriteInt32(Size, meta_code::kWriteSize);
  if (IsBaseBlobType(BaseType)) {
    writer.WriteUInt8(BlobCompressionAlgorithm, meta_code::kWriteBlobAlgorithm);
    writer.WriteUInt8(BlobCompressionMode, meta_code::kWriteBlobMode);
    writer.WriteInt32(BlobBlockSize, meta_code::kWriteBlobBlockSize);
  }
  const int64_t sequence[] = {AutoincIncrement, AutoincInitialValue, AutoincMinValue,
                              AutoincMaxValue};
  for (size_t i = 0; i < std::size(sequence); ++i) {
    writer.WriteInt64(sequence[i], meta_code::kWriteAutoinc[i]);
  }
  writer.WriteFlag(AutoincCycled, meta_code::kWriteAutoincCycled);
  DefaultValue.SaveToStream(stream, kDefaultValueWriteCodes);
}

bool TABSFieldDef::Equals(const TABSMetaObjectDef& other) const {
  if (!TABSMetaObjectDef::Equals(other)) return false;
  const auto& field = static_cast<const TABSFieldDef&>(other);
  const bool same_blob_settings =
      !IsBaseBlobType(BaseType) ||
      (BlobCompressionAlgorithm == field.BlobCompressionAlgorithm &&
       BlobCompressionMode == field.BlobCompressionMode && BlobBlockSize == field.BlobBlockSize);
  return BaseType == field.BaseType && AdvancedType == field.AdvancedType && Size == field.Size &&
         same_blob_settings && AutoincIncrement == field.AutoincIncrement &&
         AutoincInitialValue == field.AutoincInitialValue &&
         AutoincMinValue == field.AutoincMinValue && AutoincMaxValue == field.AutoincMaxValue &&
         AutoincCycled == field.AutoincCycled && SameValue(DefaultValue, field.DefaultValue);
}

void TABSFieldDef::SetDataType(AdvancedDataType advanced, int32_t size) {
  BaseType = DeclaredBaseType(advanced);
  AdvancedType = advanced;
  Size = size;
  ComputeSizes();
}

int64_t TABSFieldDef::NextAutoincValue(int64_t last) const {
  const int64_t increment = AutoincIncrement == 0 ? 1 : AutoincIncrement;
  int64_t next = 0;
  const bool overflow = __builtin_add_overflow(last, increment, &next);
  if (overflow || (AutoincMaxValue != 0 && next > AutoincMaxValue)) {
    if (!AutoincCycled) {
      RaiseEngineErrorFmt(meta_code::kAutoincMaxExceeded,
                          "Autoinc max value exceeded for field '%s'", {Name});
    }
    return AutoincMinValue;
  }
  return next;
}

void TABSFieldDef::ComputeSizes() {
  BufferSize = DataSizeOf(BaseType, Size);
  StoredSize = StoredSizeOf(BaseType, Size);
}

TABSRecordSizes TABSFieldDefs::ComputeOffsets() {
  TABSRecordSizes sizes;
  sizes.NullFlagsSize = (Count() + 7) / 8;
  sizes.BufferSize = sizes.NullFlagsSize;
  sizes.StoredSize = sizes.NullFlagsSize;
  for (int i = 0; i < Count(); ++i) {
    TABSFieldDef& field = Item(i);
    field.BufferOffset = sizes.BufferSize;
    field.StoredOffset = sizes.StoredSize;
    sizes.BufferSize += field.BufferSize;
    sizes.StoredSize += field.StoredSize;
  }
  return sizes;
}

}  // namespace tabshift
