#include "e2e/run_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

namespace testing_support {

ToolRun RunProgram(const char* path, const char* argv0, const std::vector<std::string>& args,
                   const RunOptions& options) {
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {-1, "", ""};
  }
  std::vector<std::string> argvStrings{argv0};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  // Standard input comes from a scratch file, so no pipe can fill up.
  char inputPath[] = "/tmp/bp-input-XXXXXX";
  const int inputFd = mkstemp(inputPath);
  if (inputFd < 0 || write(inputFd, options.input.data(), options.input.size()) !=
                         static_cast<ssize_t>(options.input.size())) {
    ADD_FAILURE() << "cannot write the standard input";
  }
  unlink(inputPath);
  lseek(inputFd, 0, SEEK_SET);

  const pid_t pid = fork();
  if (pid == 0) {
    dup2(inputFd, STDIN_FILENO);
    close(inputFd);
    // The first file the tool opens then gets descriptor 0.
    if (options.closedInput) close(STDIN_FILENO);
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    close(outPipe[0]);
    close(errPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    // Under a limit a coverage build's counters cannot be written whole: they go to a place
    // of their own, so that the build's counters stay sound.
    if (options.addressSpaceLimit != 0 || options.fileSizeLimit != 0) {
      setenv("GCOV_PREFIX", "/tmp/bp-limited-run-counters", 1);
    }
    if (options.addressSpaceLimit != 0) {
      const rlimit limit{options.addressSpaceLimit, options.addressSpaceLimit};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (options.fileSizeLimit != 0) {
      const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    signal(SIGXFSZ, options.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
    execv(path, argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  close(inputFd);

  ToolRun run{-1, "", ""};
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  const auto start = std::chrono::steady_clock::now();
  bool killed = options.killAfterMs < 0;
  while (open > 0) {
    int wait = -1;
    if (!killed) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      wait = std::max(0, options.killAfterMs - static_cast<int>(elapsed.count()));
      if (wait == 0) {
        kill(pid, SIGTERM);
        killed = true;
        wait = -1;
      }
    }
    const int ready = poll(fds, 2, wait);
    if (ready < 0) break;
    if (ready == 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  return run;
}

std::string JsonValue(const std::string& json, const std::string& expression) {
  RunOptions options;
  options.input = json;
  const ToolRun run = RunProgram(
      "/usr/bin/python3", "python3",
      {"-c", "import json,sys\nd=json.loads(sys.stdin.read())\nprint(" + expression + ")"},
      options);
  EXPECT_EQ(run.status, 0) << run.err << json;
  return run.out.empty() ? run.out : run.out.substr(0, run.out.size() - 1);
}

}  // namespace testing_support
