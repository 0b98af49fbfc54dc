#include "base/signal_cleanup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::TempDir;
using testing_support::WriteFile;
namespace bp = vantu::branding_package;

// A child that registers a file and a directory of files, then is terminated; returns the
// signal it died of. forget: the file is unregistered again before the signal.
int TerminatedChild(const TempDir& dir, bool forget, bool held) {
  const pid_t pid = fork();
  if (pid == 0) {
    bp::InstallSignalCleanup();
    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY);
    const int file = bp::RemoveOnSignal(folder, "partial.pkg", bp::Removal::kFile);
    bp::RemoveOnSignal(folder, "staging", bp::Removal::kDirectory);
    if (forget) bp::ForgetOnSignal(file);
    if (held) {
      bp::SignalsHeld hold;
      raise(SIGTERM);
      // Held: the signal waits; the file appears whole before it is handled.
      WriteFile(dir / "whole.pkg", "done");
    } else {
      raise(SIGTERM);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

TEST(SignalCleanup, TerminationRemovesWhatIsRegistered) {
  for (const bool forget : {false, true}) {
    TempDir dir;
    WriteFile(dir / "partial.pkg", "half");
    ASSERT_EQ(mkdir((dir / "staging").c_str(), 0700), 0);
    WriteFile(dir / "staging/a.png", "a");
    WriteFile(dir / "staging/b.jpg", "b");
    EXPECT_EQ(TerminatedChild(dir, forget, false), SIGTERM);
    EXPECT_EQ(Exists(dir / "partial.pkg"), forget);
    EXPECT_FALSE(Exists(dir / "staging"));
  }
}

TEST(SignalCleanup, HeldSignalsWaitForTheEndOfTheBlock) {
  TempDir dir;
  EXPECT_EQ(TerminatedChild(dir, false, true), SIGTERM);
  EXPECT_TRUE(Exists(dir / "whole.pkg"));
}

TEST(SignalCleanup, PathsTooLongAreNotRegistered) {
  EXPECT_EQ(bp::RemoveOnSignal(AT_FDCWD, std::string(300, 'x'), bp::Removal::kFile), -1);
  bp::ForgetOnSignal(-1);
}

}  // namespace
