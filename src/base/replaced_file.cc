#include "base/replaced_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "base/folder_entry.h"
#include "base/signal_cleanup.h"

namespace vantu::branding_package {

namespace {

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

// The names of fd's extended attributes; none where the file system keeps none.
std::optional<std::set<std::string>> AttributeNames(int fd) {
  std::set<std::string> names;
  const ssize_t size = flistxattr(fd, nullptr, 0);
  if (size < 0) return errno == ENOTSUP ? std::optional(names) : std::nullopt;
  std::string list(static_cast<std::size_t>(size), '\0');
  const ssize_t got = flistxattr(fd, list.data(), list.size());
  if (got < 0) return std::nullopt;
  list.resize(static_cast<std::size_t>(got));
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = list.find('\0', at);
    names.insert(list.substr(at, end - at));
    at = end == std::string::npos ? list.size() : end + 1;
  }
  return names;
}

// Gives to the extended attributes of from (its ACL among them), and only those; false when
// one cannot be read, set or removed.
bool MatchAttributes(int from, int to) {
  const auto wanted = AttributeNames(from);
  const auto present = AttributeNames(to);
  if (!wanted || !present) return false;
  for (const std::string& name : *present) {
    if (wanted->count(name) == 0 && fremovexattr(to, name.c_str()) != 0) return false;
  }
  for (const std::string& name : *wanted) {
    const ssize_t size = fgetxattr(from, name.c_str(), nullptr, 0);
    if (size < 0) return false;
    std::string value(static_cast<std::size_t>(size), '\0');
    const ssize_t got = fgetxattr(from, name.c_str(), value.data(), value.size());
    if (got < 0 ||
        fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) != 0) {
      return false;
    }
  }
  return true;
}

// Whether folder's entry name has a file system mounted on it, which no rename replaces.
bool IsMountPoint(int folder, const std::string& name) {
  struct statx status {};
  return statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &status) == 0 &&
         (status.stx_attributes & status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

ReplacedFile::ReplacedFile(const std::string& target, Mode mode,
                           const std::vector<FileId>& inputs) {
  // The kernel follows the links, with its protections, /proc's links to open files included.
  const Descriptor found(open(target.c_str(), O_PATH | O_CLOEXEC));
  struct stat status {};
  if (!found.IsOpen() || fstat(found.Get(), &status) != 0) {
    if (errno == ENOENT) OpenNew(target, mode);
    if (!IsOpen()) failure_ = OpenFailure::kCannotOpen;
    return;
  }
  const FileId id{status.st_dev, status.st_ino};
  if (std::find(inputs.begin(), inputs.end(), id) != inputs.end()) {
    failure_ = OpenFailure::kIsInput;
    return;
  }
  // Opened for writing now, changed only at the end: a target that cannot be written is
  // refused before anything is built. A FIFO waits for its reader, as for the shell's >;
  // a file swapped for one meanwhile is refused rather than waited on.
  const bool regular = S_ISREG(status.st_mode);
  target_ = Descriptor(
      open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (regular ? O_NONBLOCK : 0)));
  const auto opened = target_.IsOpen() ? IdOfDescriptor(target_.Get()) : std::nullopt;
  if (!opened || !(*opened == id)) {
    if (opened) errno = EBUSY;
    target_.Reset();
    failure_ = OpenFailure::kCannotOpen;
    return;
  }
  if (regular) {
    OpenOverExisting(target, mode, status);
  } else {
    strategy_ = Strategy::kInPlace;
    Descriptor stream = Duplicate(target_.Get());
    std::FILE* file = stream.IsOpen() ? fdopen(stream.Get(), "w") : nullptr;
    if (file != nullptr) stream.Release();
    file_ = std::make_unique<OutputFile>(file);
  }
  if (!IsOpen()) failure_ = OpenFailure::kCannotOpen;
}

void ReplacedFile::OpenNew(const std::string& target, Mode mode) {
  std::optional<FolderEntry> entry = LocateEntry(target);
  if (!entry) return;
  struct stat status {};
  if (fstatat(entry->folder.Get(), entry->name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;  // it appeared since the kernel found nothing there
    return;
  }
  folder_ = std::move(entry->folder);
  name_ = std::move(entry->name);
  strategy_ = Strategy::kRename;
  // Created as the shell creates a file: the umask or the folder's default ACL applies.
  OpenTemporary(folder_.Get(), mode, 0666U);
}

void ReplacedFile::OpenOverExisting(const std::string& target, Mode mode,
                                    const struct stat& existing) {
  const FileId id{existing.st_dev, existing.st_ino};
  std::optional<FolderEntry> entry = LocateEntry(target);
  if (entry && !entry->throughOpenFile && EntryIs(entry->folder.Get(), entry->name, id)) {
    folder_ = std::move(entry->folder);
    name_ = std::move(entry->name);
  }
  const unsigned bits = static_cast<unsigned>(existing.st_mode) & 07777U;
  const bool root = geteuid() == 0;
  if (folder_.IsOpen() && existing.st_nlink == 1 && (root || geteuid() == existing.st_uid) &&
      !IsMountPoint(folder_.Get(), name_) && OpenTemporary(folder_.Get(), mode, 0600U)) {
    // Only root may give the file its owner; a member of the file's group may give it that
    // group. Changing either clears set-id bits, and an ACL sets the group bits, so the
    // mode is set last.
    const int fd = written_.Get();
    if (fchown(fd, root ? existing.st_uid : static_cast<uid_t>(-1), existing.st_gid) == 0 &&
        MatchAttributes(target_.Get(), fd) && fchmod(fd, static_cast<mode_t>(bits)) == 0) {
      strategy_ = Strategy::kRename;
      target_.Reset();
      return;
    }
    file_.reset();
    Discard();
  }
  strategy_ = Strategy::kCopy;
  if (folder_.IsOpen() && OpenTemporary(folder_.Get(), mode, 0600U)) return;
  const Descriptor temporary(open(TemporaryDir().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!temporary.IsOpen() || !OpenTemporary(temporary.Get(), mode, 0600U)) target_.Reset();
}

bool ReplacedFile::OpenTemporary(int folder, Mode mode, unsigned createMode) {
  // No signal between creating the file and registering it for removal.
  SignalsHeld held;
  Descriptor fd;
  const std::string name = CreateUniqueEntry(".branding-", [&](const std::string& candidate) {
    fd = Descriptor(openat(folder, candidate.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           static_cast<mode_t>(createMode)));
    return fd.IsOpen();
  });
  if (name.empty()) return false;
  Descriptor stream = Duplicate(fd.Get());
  Descriptor home = Duplicate(folder);
  const auto id = IdOfDescriptor(fd.Get());
  std::FILE* file = stream.IsOpen() && home.IsOpen() && id
                        ? fdopen(stream.Get(), mode == Mode::kBinary ? "wb" : "w")
                        : nullptr;
  if (file == nullptr) {
    unlinkat(folder, name.c_str(), 0);
    return false;
  }
  stream.Release();
  tempFolder_ = std::move(home);
  tempName_ = name;
  written_ = std::move(fd);
  writtenId_ = *id;
  cleanupSlot_ = RemoveOnSignal(tempFolder_.Get(), tempName_, Removal::kFile);
  file_ = std::make_unique<OutputFile>(file);
  return true;
}

ByteSource& ReplacedFile::Written() {
  readBack_ = std::make_unique<FileSource>(Duplicate(written_.Get()));
  return *readBack_;
}

void ReplacedFile::Reserve(std::uint64_t size) {
  // A failure only forgoes the speed: the writes themselves report a full disk.
  if (Staged() && size > 0) {
    const int failed = posix_fallocate(written_.Get(), 0, static_cast<off_t>(size));
    static_cast<void>(failed);
  }
}

bool ReplacedFile::RenameOver() {
  // Only the file this run wrote is put in place: its name is checked the moment before.
  // (Not after: another build may rightly have replaced it by then.)
  if (!EntryIs(tempFolder_.Get(), tempName_, writtenId_) ||
      renameat(tempFolder_.Get(), tempName_.c_str(), folder_.Get(), name_.c_str()) != 0) {
    return false;
  }
  ForgetOnSignal(cleanupSlot_);
  cleanupSlot_ = -1;
  tempName_.clear();
  return true;
}

bool ReplacedFile::CopyOver() {
  const int target = target_.Get();
  struct stat to {};
  FileSource source(Duplicate(written_.Get()));
  if (!source.IsOpen() || fstat(target, &to) != 0) return false;
  const auto size = static_cast<off_t>(source.Size());
  const auto copy = [&](off_t begin, off_t end) {
    off_t at = begin;
    return ReadPieces(source, static_cast<std::uint64_t>(begin),
                      static_cast<std::uint64_t>(end - begin),
                      [&](const unsigned char* piece, std::size_t n) {
                        if (!WriteAllAt(target, piece, n, at)) return false;
                        at += static_cast<off_t>(n);
                        return true;
                      });
  };
  // The space is claimed before the first byte changes, without changing the target's size
  // or bytes: a full disk fails here and leaves the target whole.
  if (size > 0 && fallocate(target, FALLOC_FL_KEEP_SIZE, 0, size) != 0) {
    if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
    // No reservation on this file system: the growth goes first, past the old end, and is
    // made sure of on disk; a full disk then costs only that tail, which is cut off again.
    const off_t old = to.st_size;
    if (size > old && !(copy(old, size) && fdatasync(target) == 0)) {
      const int error = errno;
      if (ftruncate(target, old) != 0) errno = error;
      return false;
    }
    return copy(0, std::min(old, size)) && ftruncate(target, size) == 0;
  }
  return copy(0, size) && ftruncate(target, size) == 0;
}

bool ReplacedFile::Publish(std::chrono::milliseconds lockWait) {
  if (strategy_ == Strategy::kInPlace) return true;
  if (!Staged()) return false;
  // One copy at a time over this file: a second build waits for the first to finish, so one
  // whole package remains, the one whose digest its build printed last. Any reader can lock
  // the file too, so the wait is bounded.
  int locked = 0;
  if (strategy_ == Strategy::kCopy) {
    const auto until = std::chrono::steady_clock::now() + lockWait;
    while ((locked = flock(target_.Get(), LOCK_EX | LOCK_NB)) != 0 &&
           (errno == EINTR || errno == EWOULDBLOCK) && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (locked != 0) {
      const int error = errno;
      Discard();
      errno = error;
      return false;
    }
  }
  bool done = false;
  {
    SignalsHeld held;
    if (strategy_ == Strategy::kRename) {
      done = RenameOver();
    } else {
      done = locked == 0 && CopyOver();
      done = target_.Reset() && done;
    }
    if (done) FinishDespiteSignals();
  }
  Discard();
  return done;
}

void ReplacedFile::Discard() {
  if (!tempName_.empty()) {
    SignalsHeld held;
    if (EntryIs(tempFolder_.Get(), tempName_, writtenId_)) {
      unlinkat(tempFolder_.Get(), tempName_.c_str(), 0);
    }
    ForgetOnSignal(cleanupSlot_);
    cleanupSlot_ = -1;
    tempName_.clear();
  }
  readBack_.reset();
  written_.Reset();
  tempFolder_.Reset();
}

ReplacedFile::~ReplacedFile() {
  file_.reset();
  Discard();
}

}  // namespace vantu::branding_package
