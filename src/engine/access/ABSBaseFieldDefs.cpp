#include "engine/access/ABSBaseFieldDefs.h"

namespace tabshift {

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

void TABSFieldDef::SetDataType(AdvancedDataType advanced, int32_t size) {
  AdvancedType = advanced;
  BaseType = DeclaredBaseType(advanced);
  Size = size;
  BufferSize = DataSizeOf(BaseType, Size);
  StoredSize = StoredSizeOf(BaseType, Size);
}

void TABSFieldDefs::Assign(const TABSMetaObjectDefs& other) {
  TABSTypedMetaObjectDefs<TABSFieldDef>::Assign(other);
  ComputeOffsets();
}

void TABSFieldDefs::ComputeOffsets() {
  const int32_t null_area = (Count() + 7) / 8;
  int32_t buffer_offset = null_area;
  int32_t stored_offset = null_area;
  for (int i = 0; i < Count(); ++i) {
    TABSFieldDef& field = Item(i);
    field.BufferOffset = buffer_offset;
    field.StoredOffset = stored_offset;
    buffer_offset += field.BufferSize;
    stored_offset += field.StoredSize;
  }
}

}  // namespace tabshift
