// The component base: an object with an owner and a name that frees the components it owns
// when it is freed, and that knows whether it is being loaded or destroyed.
#pragma once

#include <string>
#include <vector>

namespace tabshift {

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  virtual const char* ClassName() const { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Names are unique among the components of one owner, compared without regard to case;
  // a clash raises EComponentError.
  virtual void SetName(const std::string& name);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Component(int index) const { return components_.at(static_cast<size_t>(index)); }
  TComponent* FindComponent(const std::string& name) const;

  // Loading state: set while a component's properties are being restored, so property setters
  // can defer work until Loaded().
  bool Loading() const { return loading_; }
  void BeginLoading() { loading_ = true; }
  void EndLoading();
  bool Destroying() const { return destroying_; }

 protected:
  virtual void Loaded() {}
  // Called on the owner when a component it owns is inserted or about to be removed.
  virtual void ComponentInserted(TComponent*) {}
  virtual void ComponentRemoved(TComponent*) {}

 private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  bool loading_ = false;
  bool destroying_ = false;
};

}  // namespace tabshift
