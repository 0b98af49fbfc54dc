#include "base/replaced_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/signal_cleanup.h"

namespace vantu::branding_package {

namespace {

// The permission bits a new file gets from open(..., 0666).
unsigned NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666U & ~static_cast<unsigned>(mask);
}

// The path with every symbolic link resolved, or empty.
std::string Resolved(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) == nullptr ? std::string() : std::string(resolved);
}

// Whether path opens for writing, tried without changing it.
bool Writable(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

ReplacedFile::ReplacedFile(const std::string& target, bool binary) : final_(target) {
  struct stat status {};
  struct stat link {};
  bool opened = false;
  if (stat(target.c_str(), &status) != 0) {
    // Absent, and not a dangling link: a new file.
    if (errno == ENOENT && lstat(target.c_str(), &link) != 0) {
      opened = OpenTemporary(binary, NewFileMode(), nullptr);
    }
  } else if (S_ISREG(status.st_mode) && status.st_nlink == 1 && Writable(target)) {
    final_ = Resolved(target);
    opened = !final_.empty() &&
             OpenTemporary(binary, static_cast<unsigned>(status.st_mode) & 07777U, &status);
    if (final_.empty()) final_ = target;
  }
  if (!opened) {
    final_ = target;
    file_ = std::make_unique<OutputFile>(target, binary);
  }
}

bool ReplacedFile::OpenTemporary(bool binary, unsigned mode, const struct stat* existing) {
  const std::size_t slash = final_.rfind('/');
  std::string name = (slash == std::string::npos ? std::string(".") : final_.substr(0, slash)) +
                     "/.branding-XXXXXX";
  // No signal between creating the file and registering it for removal.
  SignalsHeld held;
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  fchmod(fd, static_cast<mode_t>(mode));
  // A file replaced by root keeps its owner; nobody else may give a file away, so failing
  // leaves the writer as the owner.
  if (existing != nullptr && geteuid() == 0) {
    const bool ownerKept = fchown(fd, existing->st_uid, existing->st_gid) == 0;
    static_cast<void>(ownerKept);
  }
  std::FILE* stream = fdopen(fd, binary ? "wb" : "w");
  if (stream == nullptr) {
    close(fd);
    unlink(name.c_str());
    return false;
  }
  temporary_ = name;
  temporaryFd_ = fd;
  cleanupSlot_ = RemoveOnSignal(temporary_, false);
  file_ = std::make_unique<OutputFile>(stream);
  return true;
}

void ReplacedFile::Reserve(std::uint64_t size) {
  // A failure only forgoes the speed: the writes themselves report a full disk.
  if (Atomic() && size > 0) {
    const int failed = posix_fallocate(temporaryFd_, 0, static_cast<off_t>(size));
    static_cast<void>(failed);
  }
}

bool ReplacedFile::Publish() {
  if (!Atomic()) return true;
  SignalsHeld held;
  const bool renamed = std::rename(temporary_.c_str(), final_.c_str()) == 0;
  if (!renamed) unlink(temporary_.c_str());
  ForgetOnSignal(cleanupSlot_);
  temporary_.clear();
  return renamed;
}

ReplacedFile::~ReplacedFile() {
  if (!Atomic()) return;
  SignalsHeld held;
  unlink(temporary_.c_str());
  ForgetOnSignal(cleanupSlot_);
}

}  // namespace vantu::branding_package
