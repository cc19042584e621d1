#include "framework/StringList.h"

#include <algorithm>

#include "framework/Exception.h"
#include "platform/Collation.h"

namespace tabshift {

const TStringList::Item& TStringList::At(int index) const {
  if (index < 0 || index >= Count()) {
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return items_[static_cast<size_t>(index)];
}

TStringList::Item& TStringList::AtMutable(int index) {
  return const_cast<Item&>(static_cast<const TStringList*>(this)->At(index));
}

int TStringList::Compare(const std::string& left, const std::string& right) const {
  return platform::CompareAnsi(left, right, !case_sensitive_);
}

int TStringList::AddObject(const std::string& text, void* object) {
  int index = Count();
  if (sorted_) Find(text, index);
  items_.insert(items_.begin() + index, Item{text, object});
  return index;
}

void TStringList::Delete(int index) {
  At(index);
  items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(const std::string& text) const {
  if (sorted_) {
    int index = 0;
    return Find(text, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i) {
    if (Compare(items_[static_cast<size_t>(i)].text, text) == 0) return i;
  }
  return -1;
}

int TStringList::IndexOfObject(const void* object) const {
  for (int i = 0; i < Count(); ++i) {
    if (items_[static_cast<size_t>(i)].object == object) return i;
  }
  return -1;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == case_sensitive_) return;
  case_sensitive_ = value;
  if (sorted_) Sort();
}

void TStringList::SetSorted(bool value) {
  if (value && !sorted_) Sort();
  sorted_ = value;
}

void TStringList::Sort() {
  std::stable_sort(items_.begin(), items_.end(), [this](const Item& left, const Item& right) {
    return Compare(left.text, right.text) < 0;
  });
}

bool TStringList::Find(const std::string& text, int& index) const {
  const auto position = std::lower_bound(items_.begin(), items_.end(), text,
                                         [this](const Item& item, const std::string& wanted) {
                                           return Compare(item.text, wanted) < 0;
                                         });
  index = static_cast<int>(position - items_.begin());
  return position != items_.end() && Compare(position->text, text) == 0;
}

}  // namespace tabshift
