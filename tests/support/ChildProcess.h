// Runs a function in a forked child process and returns its exit status, so tests can check
// what another process sees of files and locks.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace tabshift::testing {

// The child exits with the function's result (0 to 255); -1 when the child did not exit
// normally.
inline int RunInChild(const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace tabshift::testing
