// The Udb reader's error class and its result codes. The file and table engines return numeric
// result codes (0 success); only the components turn them into EUdbError.
#pragma once

#include <cstdint>
#include <string>

#include "framework/Exception.h"

namespace tabshift::udb {

// Result codes of the file and table engines.
enum UdbResult : int32_t {
  kUdbOk = 0,
  kUdbCannotOpen = 1,
  kUdbNotUdb = 2,
  kUdbUnknownDecoder = 3,
  kUdbWrongPassword = 4,
  kUdbOlderVersion = 5,
  kUdbFileOpen = 6,
  kUdbFileClosed = 7,
  kUdbWrongMode = 8,
  kUdbIncorrectFieldType = 9,
  kUdbTooManyTables = 10,
  kUdbRecordTooLarge = 11,
  kUdbPageTooSmall = 12,
  kUdbTableNotFound = 13,
  kUdbFieldNotFound = 14,
  kUdbRecordNotFound = 15,
  kUdbWriteError = 16,
  kUdbReadError = 17,
  kUdbHeadCorrupted = 18,
  kUdbBreak = 19,
  kUdbPageCorrupted = 20,
  kUdbBackPageCorrupted = 21,
  kUdbNotInEdit = 22,
  kUdbInvalidValue = 23,
  kUdbSortError = 24,
  kUdbEditNotPosted = 25,
  kUdbTableOpen = 26,
  kUdbTableClosed = 27,
  kUdbKeyEditInPacket = 28,
  kUdbLockError = 50,
};

// The text of a result code; "Error <code>" for a code without a text.
std::string UdbErrorText(int32_t code);

class EUdbError : public Exception {
 public:
  static constexpr size_t kMaxFile = 255;
  static constexpr size_t kMaxTable = 24;
  static constexpr size_t kMaxField = 32;

  // The names are cut to their room; the message is composed from the code's text and them.
  EUdbError(int32_t code, std::string_view file, std::string_view table, std::string_view field);
  const char* ClassName() const override { return "EUdbError"; }

  int32_t Code() const { return code_; }
  const std::string& ErrorFile() const { return file_; }
  const std::string& ErrorTable() const { return table_; }
  const std::string& ErrorField() const { return field_; }

  static std::string ComposeMessage(int32_t code, std::string_view file, std::string_view table,
                                    std::string_view field);

 private:
  int32_t code_;
  std::string file_;
  std::string table_;
  std::string field_;
};

}  // namespace tabshift::udb
