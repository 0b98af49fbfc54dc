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
  int signal = 0;  // the signal that ended the child, or 0
};

// What the child runs under besides its arguments.
struct RunOptions {
  std::uint64_t addressSpaceLimit = 0;  // caps virtual memory, in bytes; 0 for none
  std::uint64_t fileSizeLimit = 0;      // caps the size of files written; 0 for none
  bool ignoreFileSizeSignal = false;    // starts the child with SIGXFSZ ignored
  int killAfterMs = -1;                 // sends SIGTERM after this many milliseconds
  std::string input;                    // standard input; empty for none
  bool closedInput = false;             // starts the child with descriptor 0 closed
};

// Options with the limits, the signal disposition and the deadline given, no input.
inline RunOptions Options(std::uint64_t addressSpaceLimit, std::uint64_t fileSizeLimit = 0,
                          bool ignoreFileSizeSignal = false, int killAfterMs = -1) {
  RunOptions options;
  options.addressSpaceLimit = addressSpaceLimit;
  options.fileSizeLimit = fileSizeLimit;
  options.ignoreFileSizeSignal = ignoreFileSizeSignal;
  options.killAfterMs = killAfterMs;
  return options;
}

// Runs the program at path with argv[0] and args.
ToolRun RunProgram(const char* path, const char* argv0, const std::vector<std::string>& args,
                   const RunOptions& options = {});

// Runs branding-package with args.
inline ToolRun RunTool(const std::vector<std::string>& args, const RunOptions& options = {}) {
  return RunProgram(BP_TOOL_PATH, "branding-package", args, options);
}

// Runs branding-package-inspect with args.
inline ToolRun RunInspect(const std::vector<std::string>& args, const RunOptions& options = {}) {
  return RunProgram(BP_INSPECT_PATH, "branding-package-inspect", args, options);
}

// A layout that names icon.png and logo.jpg and passes every check.
inline const std::string kSampleLayout =
    "<vantu-client-branding version=\"1.0\"><app-name>Demo</app-name><app-icon>icon.png</app-icon>"
    "<toolbar-menu><about-item>About</about-item><quit-item>Quit</quit-item></toolbar-menu>"
    "<about title=\"About\"><line align=\"center\"><logo>logo.jpg</logo></line></about>"
    "</vantu-client-branding>";

// Parses json with the system's Python and returns the value of expression over it (the
// parsed document is "d", e.g. "d['images'][0]['width']") as Python prints it; a parse
// failure fails the test.
std::string JsonValue(const std::string& json, const std::string& expression);

// The exit status a shell sees for a negative error code.
inline int StatusOf(int code) { return code & 0xFF; }

}  // namespace testing_support
