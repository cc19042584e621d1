#include "engine/access/ABSBaseConstraintDefs.h"

#include <array>

#include "engine/access/ABSBaseCodes.h"
#include "engine/access/ABSBaseFieldDefs.h"
#include "engine/access/ABSExcept.h"

namespace tabshift {
namespace {

// How a kind wraps the names of its three pairs.
enum class NameWrap : uint8_t { Byte, Int32 };

std::array<TABSConstraintRef*, 3> Pairs(TABSConstraintDef& constraint) {
  return {&constraint.Reserved, &constraint.Table, &constraint.Target};
}

std::array<const TABSConstraintRef*, 3> Pairs(const TABSConstraintDef& constraint) {
  return {&constraint.Reserved, &constraint.Table, &constraint.Target};
}

// The three IDs first, then the three names.
void SavePairs(TStream& stream, const TABSConstraintDef& constraint,
               const meta_code::PairCodes& codes, NameWrap wrap) {
  TABSMetaWriter writer(stream);
  const auto pairs = Pairs(constraint);
  for (size_t i = 0; i < pairs.size(); ++i) writer.WriteInt32(pairs[i]->ObjectID, codes.ids[i]);
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (wrap == NameWrap::Byte) {
      writer.WriteByteWrappedName(pairs[i]->Name, codes.names[i]);
    } else {
      writer.WriteInt32WrappedName(pairs[i]->Name, codes.names[i]);
    }
  }
}

void LoadPairs(TStream& stream, TABSConstraintDef& constraint, const meta_code::PairCodes& codes,
               NameWrap wrap) {
  TABSMetaReader reader(stream);
  const auto pairs = Pairs(constraint);
  for (size_t i = 0; i < pairs.size(); ++i) pairs[i]->ObjectID = reader.ReadInt32(codes.ids[i]);
  for (size_t i = 0; i < pairs.size(); ++i) {
    pairs[i]->Name = wrap == NameWrap::Byte ? reader.ReadByteWrappedName(codes.names[i])
                                            : reader.ReadInt32WrappedName(codes.names[i]);
  }
}

}  // namespace

void TABSConstraintDef::Assign(const TABSMetaObjectDef& source) {
  TABSMetaObjectDef::Assign(source);
  const auto* constraint = dynamic_cast<const TABSConstraintDef*>(&source);
  if (constraint == nullptr) return;
  Reserved = constraint->Reserved;
  Table = constraint->Table;
  Target = constraint->Target;
}

bool TABSConstraintDef::Equals(const TABSMetaObjectDef& other) const {
  if (!TABSMetaObjectDef::Equals(other)) return false;
  const auto& constraint = static_cast<const TABSConstraintDef&>(other);
  return kind_ == constraint.kind_ && Reserved == constraint.Reserved &&
         Table == constraint.Table && Target == constraint.Target;
}

void TABSConstraintDefNotNull::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  LoadPairs(stream, *this, meta_code::kReadNotNullPairs, NameWrap::Byte);
}

void TABSConstraintDefNotNull::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  SavePairs(stream, *this, meta_code::kWriteNotNullPairs, NameWrap::Byte);
}

void TABSConstraintDefCheck::Assign(const TABSMetaObjectDef& source) {
  TABSConstraintDef::Assign(source);
  const auto* check = dynamic_cast<const TABSConstraintDefCheck*>(&source);
  if (check == nullptr) return;
  MinValue = check->MinValue;
  MaxValue = check->MaxValue;
}

void TABSConstraintDefCheck::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  LoadPairs(stream, *this, meta_code::kReadCheckPairs, NameWrap::Byte);
  MinValue.LoadFromStream(stream, kDefaultValueReadCodes);
  MaxValue.LoadFromStream(stream, kDefaultValueReadCodes);
}

void TABSConstraintDefCheck::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  SavePairs(stream, *this, meta_code::kWriteCheckPairs, NameWrap::Byte);
  MinValue.SaveToStream(stream, kDefaultValueWriteCodes);
  MaxValue.SaveToStream(stream, kDefaultValueWriteCodes);
}

bool TABSConstraintDefCheck::Equals(const TABSMetaObjectDef& other) const {
  if (!TABSConstraintDef::Equals(other)) return false;
  const auto& check = static_cast<const TABSConstraintDefCheck&>(other);
  return SameValue(MinValue, check.MinValue) && SameValue(MaxValue, check.MaxValue);
}

void TABSConstraintDefUnique::Assign(const TABSMetaObjectDef& source) {
  TABSConstraintDef::Assign(source);
  const auto* unique = dynamic_cast<const TABSConstraintDefUnique*>(&source);
  if (unique != nullptr) Columns = unique->Columns;
}

void TABSConstraintDefUnique::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  LoadPairs(stream, *this, meta_code::kReadUniquePairs, NameWrap::Int32);
  TABSMetaReader reader(stream);
  const int32_t count = reader.ReadCount(meta_code::kReadUniqueColumnCount);
  Columns.clear();
  for (int32_t i = 0; i < count; ++i) {
    TABSConstraintRef column;
    column.ObjectID = reader.ReadInt32(meta_code::kReadUniqueColumnID);
    column.Name = reader.ReadInt32WrappedName(meta_code::kReadUniqueColumnName);
    Columns.push_back(std::move(column));
  }
}

void TABSConstraintDefUnique::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  SavePairs(stream, *this, meta_code::kWriteUniquePairs, NameWrap::Int32);
  TABSMetaWriter writer(stream);
  writer.WriteInt32(static_cast<int32_t>(Columns.size()), meta_code::kWriteUniqueColumnCount);
  for (const TABSConstraintRef& column : Columns) {
    writer.WriteInt32(column.ObjectID, meta_code::kWriteUniqueColumnID);
    writer.WriteInt32WrappedName(column.Name, meta_code::kWriteUniqueColumnName);
  }
}

bool TABSConstraintDefUnique::Equals(const TABSMetaObjectDef& other) const {
  return TABSConstraintDef::Equals(other) &&
         Columns == static_cast<const TABSConstraintDefUnique&>(other).Columns;
}

std::unique_ptr<TABSConstraintDef> CreateConstraintDef(uint8_t kind) {
  switch (kind) {
    case constraint_kind::kPrimary:
      return std::make_unique<TABSConstraintDefPrimary>();
    case constraint_kind::kUnique:
      return std::make_unique<TABSConstraintDefUnique>();
    case constraint_kind::kNotNull:
      return std::make_unique<TABSConstraintDefNotNull>();
    case constraint_kind::kCheck:
      return std::make_unique<TABSConstraintDefCheck>();
    default:
      return nullptr;
  }
}

void TABSConstraintDefs::SaveToStream(TStream& stream) const {
  TABSMetaWriter writer(stream);
  writer.WriteInt32(Count(), meta_code::kWriteCount);
  for (int i = 0; i < Count(); ++i) {
    writer.WriteUInt8(Item(i).Kind(), meta_code::kWriteConstraintKind);
    Item(i).SaveToStream(stream);
  }
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefs::CreateLike(
    const TABSMetaObjectDef& source) const {
  const auto* constraint = dynamic_cast<const TABSConstraintDef*>(&source);
  std::unique_ptr<TABSConstraintDef> created =
      constraint == nullptr ? nullptr : CreateConstraintDef(constraint->Kind());
  if (created == nullptr) {
    RaiseEngineError(meta_code::kConstraintNotImplemented, "Not implemented yet");
  }
  return created;
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefs::LoadObject(TStream& stream) const {
  const uint8_t kind = TABSMetaReader(stream).ReadUInt8(meta_code::kReadConstraintKind);
  std::unique_ptr<TABSConstraintDef> constraint = CreateConstraintDef(kind);
  if (constraint == nullptr) {
    RaiseEngineErrorFmt(meta_code::kUnknownConstraintType, "Unknown Constraint Type: '%d'", {kind});
  }
  constraint->LoadFromStream(stream);
  return constraint;
}

}  // namespace tabshift
