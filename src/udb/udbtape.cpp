#include "udb/udbtape.h"

#include <algorithm>
#include <charconv>

#include "framework/Format.h"
#include "platform/FileSystem.h"

namespace tabshift::udb {
namespace {

constexpr size_t kSuffixLength = 5;  // ".tape"

// The decimal number a tape name stands for; 0 when it is not one.
int TapeNumber(const std::string& name) {
  const std::string digits = name.substr(0, name.size() - std::min(name.size(), kSuffixLength));
  int number = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, number);
  if (digits.empty() || error != std::errc() || stop != end) return 0;
  return number;
}

}  // namespace

int TUdbTape::NextNumber(const std::string& tape_path) {
  const std::string directory = platform::ExtractFilePath(tape_path);
  const std::string prefix = platform::ExtractFileName(tape_path);
  int largest = 0;
  for (const std::string& name :
       platform::FindFiles(directory.empty() ? "." : directory, prefix + "*.tape")) {
    largest = std::max(largest, TapeNumber(name));
  }
  return largest + 1;
}

bool TUdbTape::Start(const std::string& tape_path) {
  Close();
  const std::string name = tape_path + Format("%.8d.tape", {NextNumber(tape_path)});
  if (!file_.Open(name, platform::FileAccess::Write, platform::FileShare::Read,
                  platform::FileCreation::OpenAlways)) {
    return false;
  }
  position_ = file_.Size();
  return position_ >= 0;
}

void TUdbTape::Close() {
  file_.Close();
  position_ = 0;
}

}  // namespace tabshift::udb
