#include "engine/access/ABSRowCopy.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/access/ABSExcept.h"
#include "engine/access/ABSRowCopyValues.h"
#include "framework/Exception.h"
#include "framework/Format.h"
#include "framework/Stream.h"

namespace tabshift {
namespace {

std::vector<uint8_t> ReadBlob(TField& field) {
  std::unique_ptr<TStream> stream = field.DataSet().CreateBlobStream(field, bmRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(stream->Size()));
  stream->SetPosition(0);
  if (!bytes.empty()) stream->ReadBuffer(bytes.data(), bytes.size());
  return bytes;
}

void WriteBlob(TField& field, std::span<const uint8_t> bytes) {
  std::unique_ptr<TStream> stream = field.DataSet().CreateBlobStream(field, bmWrite);
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), bytes.size());
}

// The source field of a definition: the field at the same position when every definition has
// one, otherwise the field of that name.
TField* SourceField(TDataSet& source, int position) {
  if (source.FieldCount() == source.FieldDefs().Count()) return &source.Fields()[position];
  return source.FindField(source.FieldDefs()[position].Name);
}

class RowCopy {
 public:
  RowCopy(TDataSet& source, TDataSet& destination, const TABSRowCopyOptions& options, bool& go_on,
          std::string& error_text)
      : source_(source),
        destination_(destination),
        options_(options),
        go_on_(go_on),
        error_text_(error_text) {}

  bool Run() {
    source_.CheckBrowseMode();
    source_.Refresh();
    const int64_t count = source_.RecordCount();
    const int64_t range = options_.ProgressEnd - options_.ProgressStart;
    const int64_t step = range == 0 ? 1 : count / range + 1;
    const TBookmark position = source_.GetBookmark();
    source_.First();
    int64_t record_no = 1;
    while (!source_.Eof()) {
      CopyRow(record_no);
      ++record_no;
      source_.Next();
      if ((record_no - 2) % std::min<int64_t>(step, 30) == 0 && !ReportProgress(record_no, count)) {
        break;
      }
    }
    if (!position.empty()) source_.GotoBookmark(position);
    return result_;
  }

 private:
  void CopyRow(int64_t record_no) {
    destination_.Insert();
    for (int i = 0; i < source_.FieldDefs().Count(); ++i) CopyField(i, record_no);
    try {
      destination_.Post();
    } catch (const Exception& error) {
      error_text_ +=
          Format("Error copying table \"%s\". Record #%d was not imported due to error: %s\r\n",
                 {options_.TableName, record_no, error.Message()}) +
          "\r\n";
      try {
        destination_.Cancel();
      } catch (const Exception&) {
        // The record failed already; a failure to drop it changes nothing.
      }
      Failed();
    }
  }

  void CopyField(int position, int64_t record_no) {
    TField* source = SourceField(source_, position);
    if (source == nullptr) {
      try {
        RaiseEngineErrorFmt(native_error::kFieldNotSupported,
                            "Field type is not supported by this version of the framework. "
                            "Table: '%s', field: '%s'",
                            {options_.TableName, source_.FieldDefs()[position].Name});
      } catch (const EABSException& error) {
        error_text_ += error.Message() + "\r\n";
        Failed();
      }
      return;
    }
    TField* destination = destination_.FindField(source->FieldName());
    if (destination == nullptr) return;
    try {
      CopyFieldValue(*source, *destination);
    } catch (const Exception& error) {
      error_text_ += Format(
          "Error copying table \"%s\". Record #%d, field '%s' was copied with Null value due to "
          "error: %s\r\n",
          {options_.TableName, record_no, source->FieldName(), error.Message()});
      try {
        destination->Clear();
      } catch (const Exception&) {
        // The field keeps whatever it holds; the error above is reported.
      }
      Failed();
    }
  }

  // Raises the current error again unless errors are collected.
  void Failed() {
    if (!options_.ContinueOnError) throw;
    result_ = false;
  }

  bool ReportProgress(int64_t record_no, int64_t count) {
    if (!options_.Progress) return true;
    const int64_t range = options_.ProgressEnd - options_.ProgressStart;
    const double done = static_cast<double>(record_no - 1) * static_cast<double>(range) /
                        static_cast<double>(std::max<int64_t>(count, 1));
    options_.Progress(options_.ProgressStart + static_cast<int>(std::lround(done)), source_,
                      go_on_);
    if (go_on_) return true;
    error_text_ += "Terminated by User.";
    error_text_ += "\r\n";
    result_ = false;
    return false;
  }

  TDataSet& source_;
  TDataSet& destination_;
  const TABSRowCopyOptions& options_;
  bool& go_on_;
  std::string& error_text_;
  bool result_ = true;
};

}  // namespace

bool CopyRows(TDataSet& source, TDataSet& destination, const TABSRowCopyOptions& options,
              bool& go_on, std::string& error_text) {
  return RowCopy(source, destination, options, go_on, error_text).Run();
}

void CopyFieldValue(TField& source, TField& destination) {
  const TFieldType source_type = source.DataType();
  const TFieldType destination_type = destination.DataType();
  if (source_type == ftVarBytes) {
    if (source.AsVariant() != destination.AsVariant()) destination.SetAsVariant(source.AsVariant());
  } else if (source_type == ftLargeint && source.IsNull()) {
    destination.Clear();
  } else if (source_type == ftLargeint && destination_type == ftLargeint) {
    destination.SetAsLargeInt(source.AsLargeInt());
  } else if (source.IsBlob() && destination.IsBlob()) {
    const std::vector<uint8_t> bytes = ReadBlob(source);
    WriteBlob(destination, WithoutGraphicHeader(bytes));
  } else if (source_type == ftWideString && destination.IsBlob()) {
    WriteBlob(destination, WideTextToBlobBytes(source.AsWideString()));
  } else if (source.IsBlob() && destination_type == ftWideString) {
    destination.SetAsWideString(BlobBytesToWideText(ReadBlob(source)));
  } else if (destination_type == ftLargeint && source_type != ftLargeint && !source.IsNull()) {
    destination.SetAsLargeInt(int64_t{source.AsInteger()});
  } else if (source.IsNull()) {
    destination.Clear();
  } else {
    destination.SetAsVariant(source.AsVariant());
  }
}

}  // namespace tabshift
