#include "platform/TempFile.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/FileSystem.h"

namespace tabshift::platform {

TempFile::TempFile(const std::string& prefix) {
  const std::string pattern = TemporaryDirectory() + prefix + "XXXXXX.tmp";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int descriptor = mkstemps(name.data(), 4);
  if (descriptor < 0) {
    error_ = errno;
    return;
  }
  ::close(descriptor);
  path_ = name.data();
  if (!file_.Open(path_, FileAccess::ReadWrite, FileShare::None, FileCreation::OpenExisting)) {
    DeleteFile(path_);
    path_.clear();
  }
}

TempFile::~TempFile() {
  Close();
}

void TempFile::Close() {
  if (path_.empty()) return;
  file_.Close();
  DeleteFile(path_);
  path_.clear();
}

}  // namespace tabshift::platform
