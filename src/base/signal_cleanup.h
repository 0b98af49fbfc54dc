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

// Registers a path to be removed when one of those signals arrives; returns a slot for
// Forget, or -1 when every slot is taken or the path is too long (it is then left behind).
int RemoveOnSignal(const std::string& path, Removal removal);

// Unregisters a slot; -1 is ignored.
void ForgetOnSignal(int slot);

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
