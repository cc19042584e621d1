#include "logging/smplLogs.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "framework/Exception.h"
#include "framework/Stream.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace tabshift {
namespace {

struct LogState {
  std::unique_ptr<TFileStream> stream;
  std::string file_name;
};

LogState& State() {
  static LogState state;
  return state;
}

constexpr const char* kTags[] = {" [DEBX] ", " [LOGX] ", " [PRGX] ",
                                 " [WRNX] ", " [ERRX] ", " [VERX] "};

std::string TimeStamp() {
  const platform::LocalTime now = platform::CurrentLocalTime();
  char text[16];
  std::snprintf(text, sizeof text, "[%02d:%02d:%02d]", now.hour % 100, now.minute % 100,
                now.second % 100);
  return text;
}

void WriteConsole(const std::string& line) {
  if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() ||
      std::fputc('\n', stdout) == EOF || std::fflush(stdout) != 0) {
    const int error = errno;
    std::clearerr(stdout);
    throw EInOutError(Format("I/O error %d", {error}));
  }
}

void WriteLine(const std::string& line) {
  WriteConsole(line);
  LogState& state = State();
  if (!state.stream) return;
  const std::string record = line + "\r\n";
  state.stream->Write(record.data(), record.size());
  state.stream->Flush();
}

}  // namespace

std::string TSimpleLogger::FormatLine(LogLevel level, std::string_view format,
                                      std::initializer_list<FormatArg> arguments) {
  const std::string message =
      arguments.size() == 0 ? std::string(format) : Format(format, arguments);
  if (level > kLogVersion) return message;
  return TimeStamp() + kTags[level] + message;
}

void TSimpleLogger::OpenLog(const std::string& file_name) {
  using platform::FileAccess;
  using platform::FileCreation;
  using platform::FileShare;
  LogState& state = State();
  state.stream.reset();
  state.file_name = file_name;
  {
    TFileStream create(file_name, FileAccess::Write, FileShare::ReadWrite,
                       FileCreation::CreateAlways);
  }
  state.stream = std::make_unique<TFileStream>(file_name, FileAccess::Write, FileShare::Read,
                                               FileCreation::OpenExisting);
  Log(kLogInfo, "Log file '%S' opened...", {file_name});
}

void TSimpleLogger::CloseLog() {
  LogState& state = State();
  state.stream.reset();
  platform::DeleteFile(state.file_name);
  Log(kLogInfo, "Log file '%S' deleted", {state.file_name});
  state.file_name.clear();
}

const std::string& TSimpleLogger::FileName() {
  return State().file_name;
}

void Log(LogLevel level, std::string_view format, std::initializer_list<FormatArg> arguments) {
  WriteLine(TSimpleLogger::FormatLine(level, format, arguments));
}

}  // namespace tabshift
