// Engine constraint definitions: primary key, unique, not null and check. Every constraint
// names three objects by name and ObjectID: the first is reserved and kept as stored, the
// second is the table (filled in when the engine takes the constraints over), the third is
// the index or field the constraint is about.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSBaseMetaObjects.h"
#include "engine/access/ABSVariant.h"

namespace tabshift {

// The kind byte of a constraint.
namespace constraint_kind {
inline constexpr uint8_t kPrimary = 0;
inline constexpr uint8_t kUnique = 2;
inline constexpr uint8_t kNotNull = 3;
inline constexpr uint8_t kCheck = 4;
}  // namespace constraint_kind

// A name with the ObjectID of what it names.
struct TABSConstraintRef {
  std::string Name;
  int32_t ObjectID = 0;

  bool operator==(const TABSConstraintRef&) const = default;
};

class TABSConstraintDef : public TABSMetaObjectDef {
 public:
  uint8_t Kind() const { return kind_; }
  void Assign(const TABSMetaObjectDef& source) override;
  bool Equals(const TABSMetaObjectDef& other) const override;

  TABSConstraintRef Reserved;
  TABSConstraintRef Table;
  TABSConstraintRef Target;

 protected:
  explicit TABSConstraintDef(uint8_t kind) : kind_(kind) {}

 private:
  uint8_t kind_;
};

// A field that must hold a value; Target is the field.
class TABSConstraintDefNotNull : public TABSConstraintDef {
 public:
  TABSConstraintDefNotNull() : TABSConstraintDef(constraint_kind::kNotNull) {}
  const char* ClassName() const override { return "TABSConstraintDefNotNull"; }
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
};

// A field whose values must lie between MinValue and MaxValue (a NULL bound is open); Target is
// the field.
class TABSConstraintDefCheck : public TABSConstraintDef {
 public:
  TABSConstraintDefCheck() : TABSConstraintDef(constraint_kind::kCheck) {}
  const char* ClassName() const override { return "TABSConstraintDefCheck"; }
  void Assign(const TABSMetaObjectDef& source) override;
  // The bounds move with the item codes of a field's default value.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  bool Equals(const TABSMetaObjectDef& other) const override;

  TABSVariant MinValue;
  TABSVariant MaxValue;
};

// Key values that occur once; Target is the index, Columns its key fields.
class TABSConstraintDefUnique : public TABSConstraintDef {
 public:
  TABSConstraintDefUnique() : TABSConstraintDef(constraint_kind::kUnique) {}
  const char* ClassName() const override { return "TABSConstraintDefUnique"; }
  void Assign(const TABSMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  bool Equals(const TABSMetaObjectDef& other) const override;

  std::vector<TABSConstraintRef> Columns;

 protected:
  explicit TABSConstraintDefUnique(uint8_t kind) : TABSConstraintDef(kind) {}
};

class TABSConstraintDefPrimary : public TABSConstraintDefUnique {
 public:
  TABSConstraintDefPrimary() : TABSConstraintDefUnique(constraint_kind::kPrimary) {}
  const char* ClassName() const override { return "TABSConstraintDefPrimary"; }
};

// A new, empty constraint of that kind; none for an unknown kind.
std::unique_ptr<TABSConstraintDef> CreateConstraintDef(uint8_t kind);

class TABSConstraintDefs : public TABSTypedMetaObjectDefs<TABSConstraintDef> {
 public:
  const char* ClassName() const override { return "TABSConstraintDefs"; }
  // Each constraint is written as its kind byte followed by its members.
  void SaveToStream(TStream& stream) const override;

 protected:
  // The kind comes from the source's kind byte; an unknown kind fails with "Not implemented
  // yet".
  std::unique_ptr<TABSMetaObjectDef> CreateLike(const TABSMetaObjectDef& source) const override;
  // An unknown kind byte fails with "Unknown Constraint Type: '%d'".
  std::unique_ptr<TABSMetaObjectDef> LoadObject(TStream& stream) const override;
};

}  // namespace tabshift
