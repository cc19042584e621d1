#include "support/ProgramRun.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDirectory.h"

namespace tabshift::testing {

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& working_directory,
                         const std::vector<std::string>& environment) {
  TempDirectory capture;
  const std::string output_path = capture.File("stdout");
  const std::string errors_path = capture.File("stderr");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  ProgramResult result;
  const pid_t child = fork();
  if (child == 0) {
    const int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errors = open(errors_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int input = open("/dev/null", O_RDONLY);
    if (output < 0 || errors < 0 || input < 0 || dup2(output, 1) < 0 || dup2(errors, 2) < 0 ||
        dup2(input, 0) < 0 || chdir(working_directory.c_str()) != 0) {
      _exit(126);
    }
    for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  result.pid = child;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  }
  result.output = ReadWholeFile(output_path);
  result.errors = ReadWholeFile(errors_path);
  return result;
}

}  // namespace tabshift::testing
