// The upgrade converter: reads a source Udb file set and writes the target database.
#pragma once

#include <string>

namespace tabshift {

class TdbUpTo70500 {
 public:
  // Performs the whole upgrade; raises an Exception of some class on any failure.
  static void Run(const std::string& source_file, const std::string& target_file);
};

}  // namespace tabshift
