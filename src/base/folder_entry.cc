#include "base/folder_entry.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/vfs.h>

#include <cerrno>
#include <climits>

namespace vantu::branding_package {

namespace {

// Links followed before a chain counts as a loop, as the kernel counts.
constexpr int kMaxLinks = 40;
// Names tried before CreateUniqueEntry gives up.
constexpr int kAttempts = 100;

// Whether folder lies on /proc, where a link is an open file's, not a path.
bool OnProc(int folder) {
  struct statfs fs {};
  return fstatfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

}  // namespace

std::optional<FolderEntry> LocateEntry(const std::string& path) {
  FolderEntry entry;
  int at = AT_FDCWD;
  std::string rest = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    const std::size_t slash = rest.rfind('/');
    std::string dir = slash == std::string::npos ? "." : rest.substr(0, slash);
    if (slash == 0) dir = "/";
    std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      errno = EISDIR;
      return std::nullopt;
    }
    Descriptor folder(openat(at, dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsOpen()) return std::nullopt;
    entry.folder = std::move(folder);
    at = entry.folder.Get();
    struct stat status {};
    std::string link(PATH_MAX, '\0');
    if (fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(status.st_mode)) {
      entry.name = std::move(name);
      return entry;
    }
    const ssize_t length = readlinkat(at, name.c_str(), link.data(), link.size());
    if (length <= 0) return std::nullopt;
    if (OnProc(at)) entry.throughOpenFile = true;
    link.resize(static_cast<std::size_t>(length));
    rest = std::move(link);
  }
  errno = ELOOP;
  return std::nullopt;
}

std::optional<FileId> IdOfDescriptor(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0) return std::nullopt;
  return FileId{status.st_dev, status.st_ino};
}

bool EntryIs(int folder, const std::string& name, const FileId& id) {
  struct stat status {};
  return fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
         id == FileId{status.st_dev, status.st_ino};
}

std::string CreateUniqueEntry(const std::string& prefix,
                              const std::function<bool(const std::string& name)>& make) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return "";
    std::string name = prefix;
    for (unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
    if (make(name)) return name;
    if (errno != EEXIST) return "";
  }
  errno = EEXIST;
  return "";
}

Descriptor Duplicate(int fd) { return Descriptor(fcntl(fd, F_DUPFD_CLOEXEC, 0)); }

}  // namespace vantu::branding_package
