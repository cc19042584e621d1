#include "engine/access/ABSBaseMetaObjects.h"

#include "engine/access/ABSBaseCodes.h"
#include "engine/access/ABSExcept.h"
#include "framework/Format.h"
#include "framework/Text.h"

namespace tabshift {

void TABSMetaObjectDef::Assign(const TABSMetaObjectDef& source) {
  Name = source.Name;
  ObjectID = source.ObjectID;
}

void TABSMetaObjectDef::LoadFromStream(TStream& stream) {
  TABSMetaReader reader(stream);
  Name = reader.ReadShortName(meta_code::kReadName);
  ObjectID = reader.ReadInt32(meta_code::kReadObjectID);
}

void TABSMetaObjectDef::SaveToStream(TStream& stream) const {
  TABSMetaWriter writer(stream);
  writer.WriteShortName(Name, meta_code::kWriteName);
  writer.WriteInt32(ObjectID, meta_code::kWriteObjectID);
}

bool TABSMetaObjectDef::Equals(const TABSMetaObjectDef& other) const {
  return std::string_view(ClassName()) == other.ClassName() && Name == other.Name &&
         ObjectID == other.ObjectID;
}

int TABSMetaObjectDefs::Add(std::unique_ptr<TABSMetaObjectDef> object) {
  CheckObject(object.get());
  objects_.push_back(std::move(object));
  return Count() - 1;
}

TABSMetaObjectDef& TABSMetaObjectDefs::AddNew() {
  std::unique_ptr<TABSMetaObjectDef> object = InternalAddCreated();
  TABSMetaObjectDef& added = *object;
  Add(std::move(object));
  return added;
}

void TABSMetaObjectDefs::LoadFromStream(TStream& stream) {
  Clear();
  const int32_t count = TABSMetaReader(stream).ReadCount(meta_code::kReadCount);
  for (int32_t i = 0; i < count; ++i) Add(LoadObject(stream));
}

void TABSMetaObjectDefs::SaveToStream(TStream& stream) const {
  TABSMetaWriter(stream).WriteInt32(Count(), meta_code::kWriteCount);
  for (const auto& object : objects_) object->SaveToStream(stream);
}

void TABSMetaObjectDefs::Assign(const TABSMetaObjectDefs& other) {
  if (&other == this) return;
  Clear();
  for (const auto& source : other.objects_) {
    // Unnamed objects (constraints before the engine names them) never clash.
    if (!source->Name.empty() && FindByName(source->Name) >= 0) {
      RaiseEngineErrorFmt(meta_code::kDuplicateFieldName, "Duplicate field name %s",
                          {source->Name});
    }
    std::unique_ptr<TABSMetaObjectDef> copy = CreateLike(*source);
    copy->Assign(*source);
    Add(std::move(copy));
  }
}

void TABSMetaObjectDefs::Delete(int index) {
  CheckIndex(index, Count() - 1);
  objects_.erase(objects_.begin() + index);
}

void TABSMetaObjectDefs::Insert(int index, std::unique_ptr<TABSMetaObjectDef> object) {
  CheckIndex(index, Count());
  CheckObject(object.get());
  objects_.insert(objects_.begin() + index, std::move(object));
}

void TABSMetaObjectDefs::Move(int from, int to) {
  CheckIndex(from, Count() - 1);
  CheckIndex(to, Count() - 1);
  std::unique_ptr<TABSMetaObjectDef> object = std::move(objects_[static_cast<size_t>(from)]);
  objects_.erase(objects_.begin() + from);
  objects_.insert(objects_.begin() + to, std::move(object));
}

TABSMetaObjectDef& TABSMetaObjectDefs::Object(int index) const {
  CheckIndex(index, Count() - 1);
  return *objects_[static_cast<size_t>(index)];
}

int TABSMetaObjectDefs::FindByName(std::string_view name) const {
  const std::string wanted = UpperCase(name);
  for (int i = 0; i < Count(); ++i) {
    if (UpperCase(objects_[static_cast<size_t>(i)]->Name) == wanted) return i;
  }
  return -1;
}

int TABSMetaObjectDefs::FindByObjectID(int32_t object_id) const {
  for (int i = 0; i < Count(); ++i) {
    if (objects_[static_cast<size_t>(i)]->ObjectID == object_id) return i;
  }
  return -1;
}

TABSMetaObjectDef* TABSMetaObjectDefs::ObjectByName(std::string_view name) const {
  const int index = FindByName(name);
  return index < 0 ? nullptr : objects_[static_cast<size_t>(index)].get();
}

TABSMetaObjectDef* TABSMetaObjectDefs::ObjectByObjectID(int32_t object_id) const {
  const int index = FindByObjectID(object_id);
  return index < 0 ? nullptr : objects_[static_cast<size_t>(index)].get();
}

bool TABSMetaObjectDefs::Equals(const TABSMetaObjectDefs& other) const {
  if (Count() != other.Count()) return false;
  for (size_t i = 0; i < objects_.size(); ++i) {
    if (!objects_[i]->Equals(*other.objects_[i])) return false;
  }
  return true;
}

std::unique_ptr<TABSMetaObjectDef> TABSMetaObjectDefs::InternalAddCreated() const {
  RaiseEngineErrorFmt(meta_code::kMethodNotOverridden,
                      "The method '%s' not overrided in class '%s'",
                      {"InternalAddCreated", ClassName()});
}

std::unique_ptr<TABSMetaObjectDef> TABSMetaObjectDefs::CreateLike(const TABSMetaObjectDef&) const {
  return InternalAddCreated();
}

std::unique_ptr<TABSMetaObjectDef> TABSMetaObjectDefs::LoadObject(TStream& stream) const {
  std::unique_ptr<TABSMetaObjectDef> object = InternalAddCreated();
  object->LoadFromStream(stream);
  return object;
}

void TABSMetaObjectDefs::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit) {
    throw EListError(Format("List index out of bounds (%d)", {index}));
  }
}

void TABSMetaObjectDefs::CheckObject(const TABSMetaObjectDef* object) const {
  if (object == nullptr || !Accepts(*object)) {
    throw EListError(Format("A %s cannot hold a %s",
                            {ClassName(), object == nullptr ? "nil object" : object->ClassName()}));
  }
}

}  // namespace tabshift
