// Runs a program of this project as a separate process in a chosen working directory and
// collects what it printed and how it ended.
#pragma once

#include <string>
#include <vector>

namespace tabshift::testing {

struct ProgramResult {
  int exit_code = -1;  // -1 when the program did not exit normally (signal, failed start)
  int pid = 0;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// `environment` entries "NAME=value" are added to (or replace in) the inherited environment.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& working_directory,
                         const std::vector<std::string>& environment = {});

}  // namespace tabshift::testing
