// The inspect tool's command line: a subcommand and its arguments.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "inspect/model/tool_table.h"

namespace vantu::branding_package {

// One command: how it is called, what it does, and what runs it (null for a second usage
// line of the command above).
struct CommandEntry {
  const char* name;
  const char* arguments;  // its operands; its options are its parser's, which --help lists
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

// Every command, in the order usage lists them: the table usage, dispatch and the tests read.
const std::vector<CommandEntry>& Commands();

// A whole report made from a run's status and fault, for a run that printed none.
using Fallback = std::function<std::string(int status, const Fault& fault)>;

// Runs a command on input whose report (--json, --format sarif) must be exactly one whole
// document on standard output whatever happens: its own, or, when it stopped with a fault (an
// input it could not open) or failed part-way (out of memory, or any other exception: status
// 70), fallback's, which names the fault; the fault also goes to standard error.
int RunWhole(const std::string& input,
             const std::function<Outcome(std::ostream& out, std::ostream& err)>& run,
             const Fallback& fallback);

// Runs branding-package-inspect on argv and returns the process exit status.
int RunInspect(int argc, char** argv);

}  // namespace vantu::branding_package
