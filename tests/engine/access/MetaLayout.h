// Test helpers for the table metadata record: a hand-written layout of stored items, each with
// its bytes and its write and read codes, and a stream that takes only so many bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "framework/Stream.h"

namespace tabshift::testing_meta {

using Bytes = std::vector<uint8_t>;

inline Bytes U8(uint8_t value) {
  return {value};
}
inline Bytes I32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {uint8_t(bits), uint8_t(bits >> 8), uint8_t(bits >> 16), uint8_t(bits >> 24)};
}
inline Bytes I64(int64_t value) {
  Bytes bytes;
  for (int i = 0; i < 8; ++i) bytes.push_back(uint8_t(static_cast<uint64_t>(value) >> (8 * i)));
  return bytes;
}
inline Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

struct StoredItem {
  int32_t write_code;
  int32_t read_code;
  Bytes bytes;
};

// The items of a stored list in order, with the boundaries of its objects.
class StoredLayout {
 public:
  StoredLayout& Add(int32_t write_code, int32_t read_code, Bytes bytes) {
    items_.push_back({write_code, read_code, std::move(bytes)});
    return *this;
  }
  // A short name: its length byte and its characters.
  StoredLayout& Name(int32_t write_length, int32_t write_text, int32_t read_length,
                     int32_t read_text, const std::string& name) {
    Add(write_length, read_length, U8(static_cast<uint8_t>(name.size())));
    return Add(write_text, read_text, Text(name));
  }
  StoredLayout& EndObject() {
    object_ends_.push_back(Size());
    return *this;
  }
  StoredLayout& Append(const StoredLayout& other) {
    const size_t base = Size();
    items_.insert(items_.end(), other.items_.begin(), other.items_.end());
    for (size_t end : other.object_ends_) object_ends_.push_back(base + end);
    return *this;
  }

  Bytes All() const {
    Bytes all;
    for (const StoredItem& item : items_)
      all.insert(all.end(), item.bytes.begin(), item.bytes.end());
    return all;
  }
  size_t Size() const { return All().size(); }
  // The item that holds the byte at `offset`.
  const StoredItem& ItemAt(size_t offset) const {
    size_t start = 0;
    for (const StoredItem& item : items_) {
      if (offset < start + item.bytes.size()) return item;
      start += item.bytes.size();
    }
    ADD_FAILURE() << "offset " << offset << " is past the layout";
    return items_.back();
  }
  // Objects stored completely in the first `length` bytes.
  int ObjectsWithin(size_t length) const {
    int objects = 0;
    for (size_t end : object_ends_) objects += end <= length ? 1 : 0;
    return objects;
  }

 private:
  std::vector<StoredItem> items_;
  std::vector<size_t> object_ends_;
};

inline TMemoryStream StreamOf(const Bytes& bytes) {
  TMemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.SetPosition(0);
  return stream;
}

inline Bytes ContentOf(TMemoryStream& stream) {
  return Bytes(stream.Memory(), stream.Memory() + stream.Size());
}

// A memory stream that takes at most `capacity` bytes, as a full device would.
class LimitedStream : public TMemoryStream {
 public:
  explicit LimitedStream(size_t capacity) : capacity_(capacity) {}
  size_t Write(const void* buffer, size_t count) override {
    const auto room = static_cast<size_t>(std::max<int64_t>(0, int64_t(capacity_) - Position()));
    return TMemoryStream::Write(buffer, std::min(count, room));
  }

 private:
  size_t capacity_;
};

// The native code of the EABSException `action` raises; 0 when it raises none.
inline int32_t NativeCodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EABSException& error) {
    return error.NativeError();
  }
  return 0;
}

// Checks a list against its hand-written stored form: the bytes written, the codes of a write
// that stops at every byte, and a read of every cut of the bytes, which fails with the code of
// the item cut and keeps the objects read completely. Returns the list read back from the full
// bytes.
template <typename List>
std::unique_ptr<List> ExpectStoredForm(const List& list, const StoredLayout& layout) {
  const Bytes all = layout.All();
  TMemoryStream stream;
  list.SaveToStream(stream);
  EXPECT_EQ(ContentOf(stream), all);
  for (size_t capacity = 0; capacity < all.size(); ++capacity) {
    LimitedStream limited(capacity);
    EXPECT_EQ(NativeCodeOf([&] { list.SaveToStream(limited); }), layout.ItemAt(capacity).write_code)
        << "write stopped after " << capacity << " bytes";
  }
  for (size_t cut = 0; cut < all.size(); ++cut) {
    TMemoryStream part = StreamOf(Bytes(all.begin(), all.begin() + static_cast<ptrdiff_t>(cut)));
    List partial;
    EXPECT_EQ(NativeCodeOf([&] { partial.LoadFromStream(part); }), layout.ItemAt(cut).read_code)
        << "stream cut after " << cut << " bytes";
    EXPECT_EQ(partial.Count(), layout.ObjectsWithin(cut)) << "stream cut after " << cut << " bytes";
  }
  auto loaded = std::make_unique<List>();
  TMemoryStream full = StreamOf(all);
  loaded->LoadFromStream(full);
  EXPECT_EQ(full.Position(), full.Size());
  return loaded;
}

}  // namespace tabshift::testing_meta
