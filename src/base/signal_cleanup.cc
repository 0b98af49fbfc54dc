#include "base/signal_cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace vantu::branding_package {

namespace {

constexpr int kSlots = 4;
constexpr std::size_t kMaxName = 256;

struct Slot {
  volatile std::sig_atomic_t used;
  bool directory;
  int folder;
  char name[kMaxName];
};

Slot g_slots[kSlots];
// 1 once the output is in place; 2 once a signal was put off for it.
volatile std::sig_atomic_t g_finishing = 0;

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Removes every file of a directory with system calls alone, which a handler may make.
void EmptyDirectory(int folder, const char* name) {
  const int dir = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return;
  alignas(8) char buffer[4096];
  for (;;) {
    const long got = syscall(SYS_getdents64, dir, buffer, sizeof buffer);
    if (got <= 0) break;
    for (long at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) unlinkat(dir, name, 0);
    }
  }
  close(dir);
}

extern "C" void CleanUpAndDie(int signal) {
  if (g_finishing == 1) {
    g_finishing = 2;
    return;
  }
  for (Slot& slot : g_slots) {
    if (slot.used == 0) continue;
    if (slot.directory) EmptyDirectory(slot.folder, slot.name);
    unlinkat(slot.folder, slot.name, slot.directory ? AT_REMOVEDIR : 0);
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

sigset_t CleanedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kCleanedSignals) sigaddset(&set, signal);
  return set;
}

}  // namespace

void InstallSignalCleanup() {
  std::signal(SIGXFSZ, SIG_IGN);
  g_finishing = 0;
  struct sigaction action {};
  action.sa_handler = CleanUpAndDie;
  // A signal put off must not fail the write it interrupted.
  action.sa_flags = SA_RESTART;
  action.sa_mask = CleanedSignals();
  for (int signal : kCleanedSignals) {
    struct sigaction previous {};
    // A signal ignored by whoever started the tool stays ignored.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int RemoveOnSignal(int folder, const std::string& name, Removal removal) {
  if (name.size() >= kMaxName) return -1;
  SignalsHeld held;
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = g_slots[i];
    if (slot.used != 0) continue;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.folder = folder;
    slot.directory = removal == Removal::kDirectory;
    slot.used = 1;
    return i;
  }
  return -1;
}

void ForgetOnSignal(int slot) {
  if (slot >= 0 && slot < kSlots) g_slots[slot].used = 0;
}

void FinishDespiteSignals() {
  if (g_finishing == 0) g_finishing = 1;
}

SignalsHeld::SignalsHeld() : previous_() {
  const sigset_t set = CleanedSignals();
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace vantu::branding_package
