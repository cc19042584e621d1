// The framework's index definitions of a dataset: name, the key fields as text ("A;B"), the
// fields kept descending or compared without case, and the index options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabshift {

// The index option set, one bit per option.
using TIndexOptions = uint8_t;
inline constexpr TIndexOptions ixPrimary = 1 << 0;
inline constexpr TIndexOptions ixUnique = 1 << 1;
inline constexpr TIndexOptions ixDescending = 1 << 2;
inline constexpr TIndexOptions ixCaseInsensitive = 1 << 3;

struct TIndexDef {
  std::string Name;
  std::string Fields;
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options = 0;

  bool operator==(const TIndexDef&) const = default;
};

using TIndexDefs = std::vector<TIndexDef>;

}  // namespace tabshift
