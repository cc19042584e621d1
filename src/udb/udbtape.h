// The tape file of a file set: a numbered "%.8d.tape" file created in the tape directory when
// the file set opens, kept open for appending until it closes.
#pragma once

#include <string>

#include "platform/File.h"

namespace tabshift::udb {

class TUdbTape {
 public:
  // `tape_path` is a plain prefix and ends with a path separator. The new file is numbered one
  // above the largest number found among the existing "*.tape" names (1 when there is none).
  // Returns false when the file cannot be created or opened.
  bool Start(const std::string& tape_path);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& FileName() const { return file_.Path(); }
  int64_t Position() const { return position_; }

  static int NextNumber(const std::string& tape_path);

 private:
  platform::File file_;
  int64_t position_ = 0;
};

}  // namespace tabshift::udb
