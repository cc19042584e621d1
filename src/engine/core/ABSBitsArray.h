// A bit vector with its number of set bits kept current, for page allocation maps and cursor
// filter bitmaps. Bit i is bit (i mod 8) of byte (i div 8), least significant first, as in
// the record null bitmap. Rank and select map between bit positions and the order of the set
// bits among themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/ABSMemory.h"

namespace tabshift {

class TStream;

class TABSBitsArray {
 public:
  TABSBitsArray() = default;
  explicit TABSBitsArray(int32_t size) { SetSize(size); }

  int32_t Size() const { return size_; }
  // New bits are clear.
  void SetSize(int32_t size);
  bool GetBit(int32_t position) const;
  void SetBit(int32_t position, bool value);
  void SetAll(bool value);
  int32_t SetBitsCount() const { return set_count_; }

  // Positions of bits with `value`; -1 when there is none. FindNext looks after `from`
  // (from -1 on), FindPrior before it (from Size() down).
  int32_t FindFirst(bool value) const { return FindNext(-1, value); }
  int32_t FindNext(int32_t from, bool value) const;
  int32_t FindPrior(int32_t from, bool value) const;

  // The number of set bits before `position`: for a set bit, its index among all set bits.
  int32_t Rank(int32_t position) const;
  // The position of set bit number `index`, counting from 0.
  int32_t Select(int32_t index) const;

  // Stored form: bit count (int32), set-bit count (int32), then the bytes.
  void SaveToStream(TStream& stream) const;
  // Checks the counts against each other and against the bytes the stream holds before
  // taking any memory.
  void LoadFromStream(TStream& stream);

  const uint8_t* Bytes() const { return bytes_.data(); }

 private:
  void CheckPosition(int32_t position, int32_t code) const;
  void ClearBitsPastEnd();
  int32_t CountSetBits(size_t byte_count) const;

  std::vector<uint8_t, TABSAllocator<uint8_t>> bytes_;
  int32_t size_ = 0;
  int32_t set_count_ = 0;
};

}  // namespace tabshift
