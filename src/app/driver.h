// The tool's whole run: parse the command line, then dump the schema or build a package.
#pragma once

#include <functional>

namespace vantu::branding_package {

// Exit status for an exception the build does not anticipate (out of memory and the like).
constexpr int kFatalExitStatus = 70;

// Runs the tool on argv and returns the process exit status.
int RunTool(int argc, char** argv);

// Returns run's status; turns an exception that escapes it (out of memory and the like), or
// a standard output that could not be written after a success, into one line on standard
// error and kFatalExitStatus.
int RunGuarded(const std::function<int()>& run);

}  // namespace vantu::branding_package
