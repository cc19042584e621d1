// The framework's field definitions of a dataset: name, field type, size and whether a value
// is required. Names are looked up without regard to case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/FieldType.h"
#include "framework/Text.h"

namespace tabshift {

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;
  bool Required = false;

  bool operator==(const TFieldDef&) const = default;
};

class TFieldDefs {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TFieldDef& operator[](int index) { return items_.at(static_cast<size_t>(index)); }
  const TFieldDef& operator[](int index) const { return items_.at(static_cast<size_t>(index)); }
  TFieldDef& Add(std::string name, TFieldType type, int32_t size = 0, bool required = false) {
    return items_.emplace_back(TFieldDef{std::move(name), type, size, required});
  }
  // -1 when no definition has that name.
  int IndexOf(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
      if (SameText(items_[static_cast<size_t>(i)].Name, name)) return i;
    }
    return -1;
  }
  void Clear() { items_.clear(); }
  bool operator==(const TFieldDefs&) const = default;

 private:
  std::vector<TFieldDef> items_;
};

}  // namespace tabshift
