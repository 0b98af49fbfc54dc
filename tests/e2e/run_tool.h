// Runs the built tool as a child process and collects everything it shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct ToolRun {
  int status;  // exit status as the shell sees it (0..255); -1 when killed by a signal
  std::string out;
  std::string err;
};

// Runs the tool with args; argv[0] is "branding-package". A non-zero addressSpaceLimit
// caps the child's virtual memory, in bytes.
ToolRun RunTool(const std::vector<std::string>& args, std::uint64_t addressSpaceLimit = 0);

// The exit status a shell sees for a negative error code.
inline int StatusOf(int code) { return code & 0xFF; }

}  // namespace testing_support
