// The outermost frame of both tools: unexpected failures become one line and status 70.
#pragma once

#include <functional>

namespace vantu::branding_package {

// Exit status for an exception a run does not anticipate (out of memory and the like).
constexpr int kFatalExitStatus = 70;

// Returns run's status; turns an exception that escapes it (out of memory and the like), or
// a standard output that could not be written after a success, into one line on standard
// error and kFatalExitStatus.
int RunGuarded(const std::function<int()>& run);

}  // namespace vantu::branding_package
