#include "framework/Component.h"

#include <algorithm>

#include "framework/Exception.h"
#include "framework/Text.h"

namespace tabshift {

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->Insert(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Owned components are freed newest first; each one takes itself out of the list.
  while (!components_.empty()) delete components_.back();
  if (owner_ != nullptr) owner_->Remove(this);
}

void TComponent::SetName(const std::string& name) {
  if (SameText(name, name_)) {
    name_ = name;
    return;
  }
  if (owner_ != nullptr && !name.empty() && owner_->FindComponent(name) != nullptr) {
    throw EComponentError("A component named " + name + " already exists");
  }
  name_ = name;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* component : components_) {
    if (SameText(component->Name(), name)) return component;
  }
  return nullptr;
}

void TComponent::EndLoading() {
  loading_ = false;
  Loaded();
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  ComponentInserted(component);
}

void TComponent::Remove(TComponent* component) {
  ComponentRemoved(component);
  components_.erase(std::remove(components_.begin(), components_.end(), component),
                    components_.end());
  component->owner_ = nullptr;
}

}  // namespace tabshift
