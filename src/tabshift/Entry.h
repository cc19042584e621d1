// The program's run: version line, run log, the two file-name keys, the upgrade, the outcome.
#pragma once

#include <functional>
#include <string>

namespace tabshift {

using UpgradeRun = std::function<void(const std::string& source, const std::string& target)>;

// Returns the exit code: 0 after `upgrade` completed, 1 after any reported error (the run log
// then stays in the current directory).
int ProgramMain(int argc, const char* const* argv, const UpgradeRun& upgrade);

}  // namespace tabshift
