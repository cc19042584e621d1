// The row copy of table import (and of copying a table into another database): every row of a
// source dataset is inserted into an open destination dataset, fields matched by name, with
// progress reports and, when asked, errors collected as text instead of raised.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/DataSet.h"

namespace tabshift {

namespace native_error {
// A source field definition without a field object.
inline constexpr int32_t kFieldNotSupported = 10499;
}  // namespace native_error

// Receives the progress (between the range's start and end) with the source; clearing
// `go_on` stops the copy.
using TABSCopyProgress = std::function<void(int progress, TDataSet& source, bool& go_on)>;

struct TABSRowCopyOptions {
  // The table named in messages.
  std::string TableName;
  int ProgressStart = 0;
  int ProgressEnd = 0;
  // May be empty.
  TABSCopyProgress Progress;
  // Collect errors in the error text and go on; otherwise the first error is raised.
  bool ContinueOnError = false;
};

// Copies every row of `source` into `destination` (open). Messages are appended to
// `error_text`; false when any row or field was not copied or the copy was stopped. The
// source ends at the position it had.
bool CopyRows(TDataSet& source, TDataSet& destination, const TABSRowCopyOptions& options,
              bool& go_on, std::string& error_text);

// Copies one field's value by the rules of the row copy: BLOB to BLOB whole (without the
// 8-byte header of an old picture), 16-bit text to and from BLOB bytes, 64-bit integers
// without loss, anything else as the framework assigns variants.
void CopyFieldValue(TField& source, TField& destination);

}  // namespace tabshift
