// The program's command line, recorded once at start-up and read by any layer afterwards.
#pragma once

#include <string>
#include <string_view>

namespace tabshift {

// Records the parameters (argv[1..]). Double quote characters in a parameter are dropped, as
// the command-line rule of the system this program comes from does after keeping quoted blanks
// together (the shell has already split the parameters).
void SetCommandLine(int argc, const char* const* argv);

int ParamCount();
// Parameter 1 to ParamCount(); "" outside that range.
std::string ParamStr(int index);

// True when a parameter is "-" or "/" directly followed by `name` (without regard to case).
bool FindCmdLineSwitch(std::string_view name);

// The value of a key=value parameter; "" when no parameter has the key. A parameter's key part
// is the text before the first separator, less one leading switch character, trimmed of
// blanks when `trim` is set; the first whose capitals equal those of `key` gives the text
// after its first separator (the whole parameter when it has none), trimmed likewise. Keys
// match without regard to case whatever `case_sensitive` says: an exact match is also a match
// in capitals.
std::string ParamValue(std::string_view key, char separator, bool case_sensitive,
                       std::string_view switch_chars, bool trim);

}  // namespace tabshift
