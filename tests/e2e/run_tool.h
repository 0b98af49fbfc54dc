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

// Runs the program at path with argv[0] and args. A non-zero addressSpaceLimit caps the
// child's virtual memory, in bytes.
ToolRun RunProgram(const char* path, const char* argv0, const std::vector<std::string>& args,
                   std::uint64_t addressSpaceLimit = 0);

// Runs branding-package with args.
inline ToolRun RunTool(const std::vector<std::string>& args, std::uint64_t addressSpaceLimit = 0) {
  return RunProgram(BP_TOOL_PATH, "branding-package", args, addressSpaceLimit);
}

// Runs branding-package-inspect with args.
inline ToolRun RunInspect(const std::vector<std::string>& args) {
  return RunProgram(BP_INSPECT_PATH, "branding-package-inspect", args);
}

// The exit status a shell sees for a negative error code.
inline int StatusOf(int code) { return code & 0xFF; }

}  // namespace testing_support
