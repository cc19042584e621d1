// The base of the engine's metadata objects (field, index and constraint definitions) and of
// the lists that own them. A list copies deeply, finds its objects by name or ObjectID, and
// writes and reads them in the table metadata record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "framework/Exception.h"
#include "framework/Stream.h"

namespace tabshift {

// An index outside a list: "List index out of bounds (%d)".
TABSHIFT_DECLARE_EXCEPTION(EListError, Exception);

class TABSMetaObjectDef {
 public:
  TABSMetaObjectDef() = default;
  TABSMetaObjectDef(const TABSMetaObjectDef&) = delete;
  TABSMetaObjectDef& operator=(const TABSMetaObjectDef&) = delete;
  virtual ~TABSMetaObjectDef() = default;

  virtual const char* ClassName() const { return "TABSMetaObjectDef"; }
  // Copies the members the source shares with this object, deeply.
  virtual void Assign(const TABSMetaObjectDef& source);
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  // Same kind and same members, those kept in memory only excepted.
  virtual bool Equals(const TABSMetaObjectDef& other) const;

  std::string Name;
  int32_t ObjectID = -1;
};

class TABSMetaObjectDefs {
 public:
  TABSMetaObjectDefs() = default;
  TABSMetaObjectDefs(const TABSMetaObjectDefs&) = delete;
  TABSMetaObjectDefs& operator=(const TABSMetaObjectDefs&) = delete;
  virtual ~TABSMetaObjectDefs() = default;

  virtual const char* ClassName() const { return "TABSMetaObjectDefs"; }
  virtual int Count() const { return static_cast<int>(objects_.size()); }
  // Takes the object over; returns its index.
  virtual int Add(std::unique_ptr<TABSMetaObjectDef> object);
  // Appends a new object of the list's element type.
  virtual TABSMetaObjectDef& AddNew();
  // Replaces the content by the list read from the stream. When the stream fails, the objects
  // read completely before the failure stay.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  // Replaces the content by deep copies of the other list's objects; a name met twice (without
  // regard to case) fails with "Duplicate field name %s".
  virtual void Assign(const TABSMetaObjectDefs& other);
  virtual void Delete(int index);
  virtual void Insert(int index, std::unique_ptr<TABSMetaObjectDef> object);
  virtual void Move(int from, int to);
  virtual void Clear() { objects_.clear(); }

  TABSMetaObjectDef& Object(int index) const;
  // Index of the first object with that name (without regard to case) or ObjectID; -1 when
  // there is none.
  int FindByName(std::string_view name) const;
  int FindByObjectID(int32_t object_id) const;
  TABSMetaObjectDef* ObjectByName(std::string_view name) const;
  TABSMetaObjectDef* ObjectByObjectID(int32_t object_id) const;
  // Same count and pairwise equal objects.
  bool Equals(const TABSMetaObjectDefs& other) const;

 protected:
  // A new object of the element type; the base list has none.
  virtual std::unique_ptr<TABSMetaObjectDef> InternalAddCreated() const;
  // A new, empty object of the same kind as `source`, for Assign.
  virtual std::unique_ptr<TABSMetaObjectDef> CreateLike(const TABSMetaObjectDef& source) const;
  // Reads one object, positioned after the list count.
  virtual std::unique_ptr<TABSMetaObjectDef> LoadObject(TStream& stream) const;
  // Whether the object may join the list.
  virtual bool Accepts(const TABSMetaObjectDef&) const { return true; }

 private:
  void CheckObject(const TABSMetaObjectDef* object) const;
  void CheckIndex(int index, int limit) const;

  std::vector<std::unique_ptr<TABSMetaObjectDef>> objects_;
};

// A list with a fixed element type `Def`, and typed access to its objects.
template <typename Def>
class TABSTypedMetaObjectDefs : public TABSMetaObjectDefs {
 public:
  Def& Item(int index) const { return static_cast<Def&>(Object(index)); }
  Def& AddNewItem() { return static_cast<Def&>(AddNew()); }
  Def* ItemByName(std::string_view name) const { return static_cast<Def*>(ObjectByName(name)); }
  Def* ItemByObjectID(int32_t object_id) const {
    return static_cast<Def*>(ObjectByObjectID(object_id));
  }

 protected:
  // Lists whose objects differ in kind (constraints) have no single element type.
  std::unique_ptr<TABSMetaObjectDef> InternalAddCreated() const override {
    if constexpr (std::is_default_constructible_v<Def>) {
      return std::make_unique<Def>();
    } else {
      return TABSMetaObjectDefs::InternalAddCreated();
    }
  }
  bool Accepts(const TABSMetaObjectDef& object) const override {
    return dynamic_cast<const Def*>(&object) != nullptr;
  }
};

}  // namespace tabshift
