#include "tabshift/upto70500.h"

#include "framework/Exception.h"

namespace tabshift {

void TdbUpTo70500::Run(const std::string& /*source_file*/, const std::string& /*target_file*/) {
  // The reader, the storage engine and the converter are not assembled yet. Failing here keeps
  // the program from ever reporting an upgrade it did not perform.
  throw Exception("The upgrade converter is not available in this build");
}

}  // namespace tabshift
