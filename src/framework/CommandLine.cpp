#include "framework/CommandLine.h"

#include <algorithm>
#include <vector>

#include "framework/Text.h"

namespace tabshift {
namespace {

std::vector<std::string>& Parameters() {
  static std::vector<std::string> parameters;
  return parameters;
}

}  // namespace

void SetCommandLine(int argc, const char* const* argv) {
  auto& parameters = Parameters();
  parameters.clear();
  for (int i = 1; i < argc; ++i) {
    std::string parameter = argv[i];
    parameter.erase(std::remove(parameter.begin(), parameter.end(), '"'), parameter.end());
    parameters.push_back(std::move(parameter));
  }
}

int ParamCount() {
  return static_cast<int>(Parameters().size());
}

std::string ParamStr(int index) {
  if (index < 1 || index > ParamCount()) return {};
  return Parameters()[static_cast<size_t>(index - 1)];
}

bool FindCmdLineSwitch(std::string_view name) {
  for (const std::string& parameter : Parameters()) {
    if (parameter.size() > 1 && (parameter[0] == '-' || parameter[0] == '/') &&
        SameText(std::string_view(parameter).substr(1), name)) {
      return true;
    }
  }
  return false;
}

std::string ParamValue(std::string_view key, char separator, bool /*case_sensitive*/,
                       std::string_view switch_chars, bool trim) {
  const std::string wanted = Trim(key);
  for (const std::string& parameter : Parameters()) {
    std::string_view key_part = parameter;
    if (!key_part.empty() && switch_chars.find(key_part.front()) != std::string_view::npos) {
      key_part.remove_prefix(1);
    }
    key_part = key_part.substr(0, key_part.find(separator));
    const std::string candidate = trim ? Trim(key_part) : std::string(key_part);
    if (UpperCase(candidate) != UpperCase(wanted)) continue;
    const size_t at = parameter.find(separator);
    const std::string value = at == std::string::npos ? parameter : parameter.substr(at + 1);
    return trim ? Trim(value) : value;
  }
  return {};
}

}  // namespace tabshift
