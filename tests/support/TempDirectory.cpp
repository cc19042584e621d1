#include "support/TempDirectory.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tabshift::testing {

TempDirectory::TempDirectory() {
  const char* root = std::getenv("TMPDIR");
  std::string pattern =
      std::string(root != nullptr && *root != '\0' ? root : "/tmp") + "/tabshift-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDirectory::File(const std::string& name) const {
  return path_ + "/" + name;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream input(path, std::ios::binary);
  std::ostringstream content;
  content << input.rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output << content;
}

}  // namespace tabshift::testing
