// A list of strings, each carrying an optional object pointer (not owned), that can be kept
// sorted. Comparison uses the locale collation, without regard to case unless CaseSensitive.
#pragma once

#include <string>
#include <vector>

namespace tabshift {

class TStringList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const { return At(index).text; }
  void* Objects(int index) const { return At(index).object; }
  void SetObject(int index, void* object) { AtMutable(index).object = object; }

  // Appends, or inserts at the sorted position while Sorted; returns the index.
  int Add(const std::string& text) { return AddObject(text, nullptr); }
  int AddObject(const std::string& text, void* object);
  void Delete(int index);
  void Clear() { items_.clear(); }
  int IndexOf(const std::string& text) const;
  int IndexOfObject(const void* object) const;

  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool value);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  void Sort();
  // On a sorted list: true with the index of the first equal entry, or false with the index
  // where the text would be inserted.
  bool Find(const std::string& text, int& index) const;

 private:
  struct Item {
    std::string text;
    void* object;
  };
  const Item& At(int index) const;
  Item& AtMutable(int index);
  int Compare(const std::string& left, const std::string& right) const;

  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
};

}  // namespace tabshift
