#include "tabshift/Entry.h"

#include <new>
#include <string>

#include "framework/CommandLine.h"
#include "framework/Exception.h"
#include "framework/Format.h"
#include "logging/smplLogs.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace tabshift {
namespace {

constexpr const char* kVersion = "0.0.1.1";
constexpr const char* kUsage =
    "Usage: tabshift.exe iFileName=\"tillo.udb\" oFileName=\"tillo.abs\"";

std::string LogFileName(const char* argv0) {
  std::string program = platform::ExecutablePath();
  if (program.empty()) program = argv0;
  return platform::ChangeFileExt(platform::ExtractFileName(program),
                                 Format(".%d.log", {platform::ProcessId()}));
}

void Convert(const char* argv0, const UpgradeRun& upgrade) {
  TSimpleLogger::OpenLog(LogFileName(argv0));
  const std::string source = ParamValue("iFileName", '=', false, "-/", true);
  const std::string target = ParamValue("oFileName", '=', false, "-/", true);
  if (source.empty() || target.empty()) throw Exception(kUsage);
  Log(kLogInfo, "Parameters:");
  Log(kLogInfo, "  iFileName = %s", {source});
  Log(kLogInfo, "  oFileName = %s", {target});
  Log(kLogProgress, "000");
  upgrade(source, target);
  Log(kLogProgress, "100");
  TSimpleLogger::CloseLog();
}

int ReportFailure(const char* class_name, const std::string& message) {
  try {
    Log(kLogError, "%s: %s", {class_name, message});
  } catch (const Exception&) {
    // The console itself failed; the exit code is all that is left to report with.
  }
  return 1;
}

}  // namespace

int ProgramMain(int argc, const char* const* argv, const UpgradeRun& upgrade) {
  SetCommandLine(argc, argv);
  try {
    Log(kLogVersion, kVersion);
    Convert(argc > 0 ? argv[0] : "tabshift", upgrade);
  } catch (const Exception& error) {
    return ReportFailure(error.ClassName(), error.Message());
  } catch (const std::bad_alloc&) {
    return ReportFailure("EOutOfMemory", "Out of memory");
  } catch (const std::exception& error) {
    return ReportFailure("Exception", error.what());
  }
  return 0;
}

}  // namespace tabshift
