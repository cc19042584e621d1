// A temporary file in the system's temporary directory, named with a prefix and a unique
// suffix, and deleted when the object closes it or is destroyed (also while an exception
// unwinds).
#pragma once

#include <string>

#include "platform/File.h"

namespace tabshift::platform {

class TempFile {
 public:
  // Creates the file "<temporary directory><prefix>XXXXXX.tmp"; on failure IsOpen() is false
  // and LastError() says why.
  explicit TempFile(const std::string& prefix);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  int LastError() const { return error_ != 0 ? error_ : file_.LastError(); }
  const std::string& Path() const { return path_; }
  File& Handle() { return file_; }
  void Close();

 private:
  File file_;
  std::string path_;
  int error_ = 0;
};

}  // namespace tabshift::platform
