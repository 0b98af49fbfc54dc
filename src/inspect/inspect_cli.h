// The inspect tool's command line: a subcommand and its arguments.
#pragma once

#include <string>
#include <vector>

namespace vantu::branding_package {

// One command: how it is called, what it does, and what runs it (null for a second usage
// line of the command above).
struct CommandEntry {
  const char* name;
  const char* arguments;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

// Every command, in the order usage lists them: the table usage, dispatch and the tests read.
const std::vector<CommandEntry>& Commands();

// Runs branding-package-inspect on argv and returns the process exit status.
int RunInspect(int argc, char** argv);

}  // namespace vantu::branding_package
