#include "base/replaced_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/byte_source.h"
#include "base/signal_cleanup.h"

namespace vantu::branding_package {

namespace {

// Links followed before a chain counts as a loop, as the kernel counts.
constexpr int kMaxLinks = 40;

// The permission bits a new file gets from open(..., 0666).
unsigned NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666U & ~static_cast<unsigned>(mask);
}

// The directory part of path.
std::string DirOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Where a chain of symbolic links ends, whether or not a file is there; empty on a loop.
std::string FinalTarget(std::string path) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length <= 0) return path;
    link.resize(static_cast<std::size_t>(length));
    path = link[0] == '/' ? link : DirOf(path) + "/" + link;
  }
  errno = ELOOP;
  return "";
}

// The directory for temporary files that cannot lie beside their target.
std::string TemporaryDir() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string("/tmp");
}

// Writes size bytes at offset, retrying short writes.
bool WriteAllAt(int fd, const unsigned char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t put = pwrite(fd, data, size, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
    offset += put;
  }
  return true;
}

}  // namespace

ReplacedFile::ReplacedFile(const std::string& target, Mode mode, const std::vector<FileId>& inputs)
    : final_(FinalTarget(target)) {
  struct stat status {};
  if (final_.empty()) {
    failure_ = OpenFailure::kCannotOpen;
    final_ = target;
    return;
  }
  if (stat(final_.c_str(), &status) != 0) {
    // A new file, or the missing target of a dangling link.
    if (errno != ENOENT || !OpenTemporary(DirOf(final_), mode, NewFileMode())) {
      failure_ = OpenFailure::kCannotOpen;
    }
    return;
  }
  for (const FileId& input : inputs) {
    if (input == FileId{status.st_dev, status.st_ino}) {
      failure_ = OpenFailure::kIsInput;
      return;
    }
  }
  if (S_ISREG(status.st_mode)) {
    OpenOverExisting(mode, status);
  } else {
    strategy_ = Strategy::kInPlace;
    file_ = std::make_unique<OutputFile>(final_, mode);
  }
  if (!IsOpen()) failure_ = OpenFailure::kCannotOpen;
}

void ReplacedFile::OpenOverExisting(Mode mode, const struct stat& existing) {
  // Opened now, changed only by the final copy: a target that cannot be written is refused
  // before anything is built, and the copy goes to the file that was checked.
  targetFd_ = open(final_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (targetFd_ < 0) return;
  const unsigned bits = static_cast<unsigned>(existing.st_mode) & 07777U;
  const bool root = geteuid() == 0;
  if (existing.st_nlink == 1 && (root || geteuid() == existing.st_uid) &&
      OpenTemporary(DirOf(final_), mode, bits)) {
    // Only root may give the file its owner; a member of the file's group may give it
    // that group. Changing either clears set-id bits, so the mode is set again after.
    if (fchown(temporaryFd_, root ? existing.st_uid : static_cast<uid_t>(-1), existing.st_gid) ==
        0) {
      fchmod(temporaryFd_, static_cast<mode_t>(bits));
      strategy_ = Strategy::kRename;
      close(targetFd_);
      targetFd_ = -1;
      return;
    }
    file_.reset();
    Discard();
  }
  strategy_ = Strategy::kCopy;
  if (!OpenTemporary(DirOf(final_), mode, 0600U) && !OpenTemporary(TemporaryDir(), mode, 0600U)) {
    close(targetFd_);
    targetFd_ = -1;
  }
}

bool ReplacedFile::OpenTemporary(const std::string& dir, Mode mode, unsigned bits) {
  std::string name = dir + "/.branding-XXXXXX";
  // No signal between creating the file and registering it for removal.
  SignalsHeld held;
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  fchmod(fd, static_cast<mode_t>(bits));
  std::FILE* stream = fdopen(fd, mode == Mode::kBinary ? "wb" : "w");
  if (stream == nullptr) {
    close(fd);
    unlink(name.c_str());
    return false;
  }
  temporary_ = name;
  temporaryFd_ = fd;
  cleanupSlot_ = RemoveOnSignal(temporary_, Removal::kFile);
  file_ = std::make_unique<OutputFile>(stream);
  return true;
}

void ReplacedFile::Reserve(std::uint64_t size) {
  // A failure only forgoes the speed: the writes themselves report a full disk.
  if (Staged() && size > 0) {
    const int failed = posix_fallocate(temporaryFd_, 0, static_cast<off_t>(size));
    static_cast<void>(failed);
  }
}

bool ReplacedFile::CopyOver() {
  FileSource from(temporary_);
  if (!from.IsOpen()) return false;
  const auto size = static_cast<off_t>(from.Size());
  // The space is claimed before the first byte changes, without changing the target's size
  // or bytes: a full disk fails here and leaves the target whole.
  const bool reserved = size == 0 || fallocate(targetFd_, FALLOC_FL_KEEP_SIZE, 0, size) == 0 ||
                        errno == EOPNOTSUPP || errno == ENOSYS;
  off_t at = 0;
  const bool copied =
      reserved && ReadPieces(from, 0, from.Size(), [&](const unsigned char* piece, std::size_t n) {
        if (!WriteAllAt(targetFd_, piece, n, at)) return false;
        at += static_cast<off_t>(n);
        return true;
      });
  return copied && ftruncate(targetFd_, size) == 0;
}

bool ReplacedFile::Publish() {
  if (strategy_ == Strategy::kInPlace || !Staged()) return strategy_ == Strategy::kInPlace;
  SignalsHeld held;
  bool done = false;
  if (strategy_ == Strategy::kRename) {
    done = std::rename(temporary_.c_str(), final_.c_str()) == 0;
    if (done) temporary_.clear();
    if (done) ForgetOnSignal(cleanupSlot_);
  } else {
    done = CopyOver();
    done = close(targetFd_) == 0 && done;
    targetFd_ = -1;
  }
  Discard();
  return done;
}

void ReplacedFile::Discard() {
  if (temporary_.empty()) return;
  SignalsHeld held;
  unlink(temporary_.c_str());
  ForgetOnSignal(cleanupSlot_);
  cleanupSlot_ = -1;
  temporary_.clear();
  temporaryFd_ = -1;
}

ReplacedFile::~ReplacedFile() {
  file_.reset();
  Discard();
  if (targetFd_ >= 0) close(targetFd_);
}

}  // namespace vantu::branding_package
