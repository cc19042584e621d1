#include <gtest/gtest.h>

#include "framework/Component.h"
#include "framework/Exception.h"

namespace tabshift {
namespace {

class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::vector<std::string>* freed, std::string tag)
      : TComponent(owner), freed_(freed), tag_(std::move(tag)) {}
  ~Probe() override { freed_->push_back(tag_); }
  int loaded = 0;

 protected:
  void Loaded() override { ++loaded; }

 private:
  std::vector<std::string>* freed_;
  std::string tag_;
};

TEST(ComponentTest, OwnerFreesOwnedComponentsNewestFirst) {
  std::vector<std::string> freed;
  auto* owner = new Probe(nullptr, &freed, "owner");
  new Probe(owner, &freed, "first");
  auto* second = new Probe(owner, &freed, "second");
  new Probe(second, &freed, "grandchild");
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete owner;
  // Each destructor body runs before its owned components are freed.
  EXPECT_EQ(freed, (std::vector<std::string>{"owner", "second", "grandchild", "first"}));
}

TEST(ComponentTest, FreeingAComponentRemovesItFromItsOwner) {
  std::vector<std::string> freed;
  Probe owner(nullptr, &freed, "owner");
  auto* child = new Probe(&owner, &freed, "child");
  delete child;
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(ComponentTest, NamesAreUniqueAmongSiblingsWithoutRegardToCase) {
  std::vector<std::string> freed;
  Probe owner(nullptr, &freed, "owner");
  auto* first = new Probe(&owner, &freed, "1");
  auto* second = new Probe(&owner, &freed, "2");
  first->SetName("Source");
  EXPECT_EQ(owner.FindComponent("SOURCE"), first);
  EXPECT_THROW(second->SetName("source"), EComponentError);
  EXPECT_EQ(second->Name(), "");
  first->SetName("SOURCE");  // a change of case only is allowed
  EXPECT_EQ(first->Name(), "SOURCE");
}

TEST(ComponentTest, LoadingStateEndsWithLoaded) {
  std::vector<std::string> freed;
  Probe component(nullptr, &freed, "c");
  component.BeginLoading();
  EXPECT_TRUE(component.Loading());
  component.EndLoading();
  EXPECT_FALSE(component.Loading());
  EXPECT_EQ(component.loaded, 1);
}

}  // namespace
}  // namespace tabshift
