// A list of objects, not owned, kept in the order of their names as the locale collation
// ranks them without regard to case, so that definitions can be found by name quickly.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "platform/Collation.h"

namespace tabshift {

template <typename T>
class TABSSortedStringPtrArray {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  const std::string& Name(int32_t index) const { return items_[Checked(index)].name; }
  T* Object(int32_t index) const { return items_[Checked(index)].object; }

  // Inserts after any entries of the same name; returns the index.
  int32_t Add(const std::string& name, T* object) {
    const auto at = std::upper_bound(
        items_.begin(), items_.end(), name,
        [](const std::string& key, const Item& item) { return Compare(key, item.name) < 0; });
    return static_cast<int32_t>(items_.insert(at, Item{name, object}) - items_.begin());
  }
  // The first object of that name, or null.
  T* Find(const std::string& name) const {
    const int32_t index = IndexOf(name);
    return index < 0 ? nullptr : items_[size_t(index)].object;
  }
  int32_t IndexOf(const std::string& name) const {
    const auto at = std::lower_bound(
        items_.begin(), items_.end(), name,
        [](const Item& item, const std::string& key) { return Compare(item.name, key) < 0; });
    if (at == items_.end() || Compare(at->name, name) != 0) return -1;
    return static_cast<int32_t>(at - items_.begin());
  }
  void Delete(int32_t index) { items_.erase(items_.begin() + int32_t(Checked(index))); }
  void Clear() { items_.clear(); }

 private:
  struct Item {
    std::string name;
    T* object;
  };
  static int Compare(const std::string& left, const std::string& right) {
    return platform::CompareAnsi(left, right, true);
  }
  size_t Checked(int32_t index) const {
    if (index < 0 || index >= Count()) {
      RaiseEngineErrorFmt(kInvalidItemNo, "Invalid item number - ItemNo = %d, ItemCount = %d",
                          {index, Count()});
    }
    return size_t(index);
  }
  static constexpr int32_t kInvalidItemNo = 10416;

  std::vector<Item> items_;
};

}  // namespace tabshift
