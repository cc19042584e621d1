// The storage engine's errors. The engine and most access-layer checks raise EABSException
// with a five-digit native error code; the dataset layer raises EABSEngineError with the
// negative result code of a failed record operation; component checks raise EDatabaseError
// with a plain message, prefixed by the component's name.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "framework/Exception.h"
#include "framework/Format.h"

namespace tabshift {

class TComponent;

class EABSException : public Exception {
 public:
  // text + " - Native error: " + code as "%.5d".
  EABSException(int32_t native_error, std::string_view text);
  // The formatted text + " - Native error: " + code as "%5d". When the arguments do not fit the
  // format, the text is the format followed by " Arguments are invalid!".
  EABSException(int32_t native_error, std::string_view format,
                std::initializer_list<FormatArg> arguments);

  const char* ClassName() const override { return "EABSException"; }
  int32_t NativeError() const { return native_error_; }

 private:
  int32_t native_error_;
};

class EABSEngineError : public EDatabaseError {
 public:
  // "Voreruza Zizavu Error # " + code + " " + the code's text; for code -8 the text is `text`.
  EABSEngineError(int32_t error_code, std::string_view text);

  const char* ClassName() const override { return "EABSEngineError"; }
  int32_t ErrorCode() const { return error_code_; }
  const std::string& ErrorText() const { return error_text_; }

 private:
  EABSEngineError(int32_t error_code, std::string error_text, int);

  int32_t error_code_;
  std::string error_text_;
};

// Result codes of record operations.
namespace result_code {
inline constexpr int32_t kOk = 0;
inline constexpr int32_t kAddRecordError = -1;
inline constexpr int32_t kUpdateRecordError = -2;
inline constexpr int32_t kDeleteRecordError = -3;
inline constexpr int32_t kUpdateModifiedByOther = -4;
inline constexpr int32_t kDeleteModifiedByOther = -5;
inline constexpr int32_t kUpdateDeletedByOther = -6;
inline constexpr int32_t kDeleteDeletedByOther = -7;
inline constexpr int32_t kCheckFailed = -8;  // the text is the failed check's message
inline constexpr int32_t kUpdateInTemporaryMode = -9;
inline constexpr int32_t kDeleteInTemporaryMode = -10;
inline constexpr int32_t kCancelInTemporaryMode = -11;
inline constexpr int32_t kRecordLocked = -12;
inline constexpr int32_t kTableLocked = -13;
}  // namespace result_code

// The fixed text of a result code ("" for -8 and for unknown codes).
std::string_view ResultCodeText(int32_t error_code);

[[noreturn]] void RaiseEngineError(int32_t native_error, std::string_view text);
[[noreturn]] void RaiseEngineErrorFmt(int32_t native_error, std::string_view format,
                                      std::initializer_list<FormatArg> arguments);
// Nothing for 0; otherwise raises EABSEngineError.
void CheckResultCode(int32_t error_code, std::string_view text);

// EDatabaseError with "<component name>: " in front of the message when the component is
// named.
[[noreturn]] void DatabaseError(std::string_view message, const TComponent* component = nullptr);
[[noreturn]] void DatabaseErrorFmt(std::string_view format,
                                   std::initializer_list<FormatArg> arguments,
                                   const TComponent* component = nullptr);

}  // namespace tabshift
