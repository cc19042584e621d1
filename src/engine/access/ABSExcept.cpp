#include "engine/access/ABSExcept.h"

#include "framework/Component.h"

namespace tabshift {
namespace {

constexpr std::string_view kNativeErrorSuffix = " - Native error: ";

std::string FormatOrExplain(std::string_view format, std::initializer_list<FormatArg> arguments) {
  try {
    return Format(format, arguments);
  } catch (const EConvertError&) {
    return std::string(format) + " Arguments are invalid!";
  }
}

}  // namespace

EABSException::EABSException(int32_t native_error, std::string_view text)
    : Exception(std::string(text) + std::string(kNativeErrorSuffix) +
                Format("%.5d", {native_error})),
      native_error_(native_error) {}

EABSException::EABSException(int32_t native_error, std::string_view format,
                             std::initializer_list<FormatArg> arguments)
    : Exception(FormatOrExplain(format, arguments) + std::string(kNativeErrorSuffix) +
                Format("%5d", {native_error})),
      native_error_(native_error) {}

std::string_view ResultCodeText(int32_t error_code) {
  switch (error_code) {
    case result_code::kAddRecordError:
      return "Error adding record";
    case result_code::kUpdateRecordError:
      return "Error updating record";
    case result_code::kDeleteRecordError:
      return "Error deleting record";
    case result_code::kUpdateModifiedByOther:
      return "Error updating record - record was modified by other process";
    case result_code::kDeleteModifiedByOther:
      return "Error deleting record - record was modified by other process";
    case result_code::kUpdateDeletedByOther:
      return "Error updating record - record was deleted by other process";
    case result_code::kDeleteDeletedByOther:
      return "Error deleting record - record was deleted by other process";
    case result_code::kUpdateInTemporaryMode:
      return "Cannot update record in temporary mode";
    case result_code::kDeleteInTemporaryMode:
      return "Cannot delete record in temporary mode";
    case result_code::kCancelInTemporaryMode:
      return "Cannot cancel operation in temporary mode";
    case result_code::kRecordLocked:
      return "Record is locked";
    case result_code::kTableLocked:
      return "Table is locked";
    default:
      return "";
  }
}

EABSEngineError::EABSEngineError(int32_t error_code, std::string_view text)
    : EABSEngineError(error_code,
                      error_code == result_code::kCheckFailed
                          ? std::string(text)
                          : std::string(ResultCodeText(error_code)),
                      0) {}

EABSEngineError::EABSEngineError(int32_t error_code, std::string error_text, int)
    : EDatabaseError("Voreruza Zizavu Error # " + std::to_string(error_code) + " " + error_text),
      error_code_(error_code),
      error_text_(std::move(error_text)) {}

void RaiseEngineError(int32_t native_error, std::string_view text) {
  throw EABSException(native_error, text);
}

void RaiseEngineErrorFmt(int32_t native_error, std::string_view format,
                         std::initializer_list<FormatArg> arguments) {
  throw EABSException(native_error, format, arguments);
}

void CheckResultCode(int32_t error_code, std::string_view text) {
  if (error_code != result_code::kOk) throw EABSEngineError(error_code, text);
}

void DatabaseError(std::string_view message, const TComponent* component) {
  if (component != nullptr && !component->Name().empty()) {
    throw EDatabaseError(component->Name() + ": " + std::string(message));
  }
  throw EDatabaseError(std::string(message));
}

void DatabaseErrorFmt(std::string_view format, std::initializer_list<FormatArg> arguments,
                      const TComponent* component) {
  DatabaseError(Format(format, arguments), component);
}

}  // namespace tabshift
