// Removing half-written files when a signal ends the process.
#pragma once

#include <signal.h>

#include <string>

namespace vantu::branding_package {

// Ignores SIGXFSZ, so that a file size limit fails the write (reported) instead of killing
// the process, and lets SIGINT, SIGTERM and SIGHUP remove what is registered below before
// the process dies of them.
void InstallSignalCleanup();

// What RemoveOnSignal removes.
enum class Removal {
  kFile,      // the file itself
  kDirectory  // the files in the directory, then the directory when it is left empty
};

// Registers the entry name of the open folder to be removed when one of those signals
// arrives; the folder must stay open until the slot is forgotten. Returns a slot for Forget,
// or -1 when every slot is taken or the name is too long (it is then left behind).
int RemoveOnSignal(int folder, const std::string& name, Removal removal);

// Unregisters a slot; -1 is ignored.
void ForgetOnSignal(int slot);

// The run's output is in place: from now on the first of those signals is noted and the run
// finishes and reports what it did; a second one ends it at once.
void FinishDespiteSignals();

// Holds SIGINT, SIGTERM and SIGHUP back for its lifetime: what runs inside happens whole,
// and a signal that arrived meanwhile is handled at the end.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace vantu::branding_package
