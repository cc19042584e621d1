// The run log: time-stamped, level-tagged lines on standard output and, while a log file is
// open, in that file too, each line flushed to the disk before Log returns.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "framework/Format.h"

namespace tabshift {

using LogLevel = uint8_t;

inline constexpr LogLevel kLogDebug = 0;     // " [DEBX] "
inline constexpr LogLevel kLogInfo = 1;      // " [LOGX] "
inline constexpr LogLevel kLogProgress = 2;  // " [PRGX] "
inline constexpr LogLevel kLogWarning = 3;   // " [WRNX] "
inline constexpr LogLevel kLogError = 4;     // " [ERRX] "
inline constexpr LogLevel kLogVersion = 5;   // " [VERX] "

// Process-wide; never instantiated.
class TSimpleLogger {
 public:
  TSimpleLogger() = delete;

  // "[HH:NN:SS]" + tag + message for levels 0 to 5, the message alone above. With no arguments
  // the format is the message as it stands.
  static std::string FormatLine(LogLevel level, std::string_view format,
                                std::initializer_list<FormatArg> arguments);
  // Creates (or truncates) the file and keeps it open for writing, readable by others.
  // Raises EFCreateError or EFOpenError when that fails.
  static void OpenLog(const std::string& file_name);
  // Closes and deletes the log file.
  static void CloseLog();
  static const std::string& FileName();
};

// Writes one line; raises EInOutError when the console cannot be written. Failures to write
// the log file are ignored.
void Log(LogLevel level, std::string_view format, std::initializer_list<FormatArg> arguments = {});

}  // namespace tabshift
