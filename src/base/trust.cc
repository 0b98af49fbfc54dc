#include "base/trust.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "base/ascii.h"
#include "base/byte_source.h"
#include "base/descriptor.h"
#include "base/folder_of.h"
#include "base/shown.h"

namespace vantu::branding_package {

namespace {

// The most bytes the file of trusted folders may have.
constexpr std::uint64_t kMaxTrustFileSize = std::uint64_t{64} << 10;

// The user database's entry of uid: its name and home folder, when it has one.
std::optional<std::pair<std::string, std::string>> UserOf(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  return std::make_pair(std::string(entry.pw_name), std::string(entry.pw_dir));
}

// Whether owner is the one member of group gid: its primary group or listed in it, and no other
// user's. The user database is walked whole, one walk at a time.
bool OwnerAlone(uid_t owner, gid_t gid) {
  const auto user = UserOf(owner);
  bool member = false;
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(16384);
  int error = 0;
  while ((error = getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (std::size_t{1} << 24)) {
    buffer.resize(buffer.size() * 2);
  }
  if (error != 0) return false;
  if (found != nullptr) {
    for (char** listed = entry.gr_mem; *listed != nullptr; ++listed) {
      if (!user || user->first != *listed) return false;
      member = true;
    }
  }
  static std::mutex walk;
  const std::lock_guard<std::mutex> lock(walk);
  setpwent();
  passwd other{};
  passwd* next = nullptr;
  std::vector<char> otherBuffer(16384);
  bool alone = true;
  while (getpwent_r(&other, otherBuffer.data(), otherBuffer.size(), &next) == 0 &&
         next != nullptr) {
    if (other.pw_gid != gid) continue;
    if (other.pw_uid == owner) {
      member = true;
    } else {
      alone = false;
      break;
    }
  }
  endpwent();
  return alone && member;
}

std::string GroupWritable(gid_t gid, const char* how) {
  return "writable by group " + std::to_string(gid) + how;
}

// Why the ACL of the file at fd, with status, lets another user write it; none when it does
// not, or when the file system keeps no ACL (the mode then says it all).
std::optional<std::string> UntrustedAcl(int fd, const struct stat& status, bool& read) {
  read = false;
  acl_t acl = acl_get_fd(fd);
  if (acl == nullptr) {
    if (errno == ENOTSUP || errno == EOPNOTSUPP) return std::nullopt;
    return std::string("a file whose ACL cannot be read: ") + std::strerror(errno);
  }
  read = true;
  struct Entry {
    acl_tag_t tag;
    bool write;
    unsigned id;
  };
  std::vector<Entry> entries;
  bool maskWrite = true;
  acl_entry_t entry = nullptr;
  for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1;
       which = ACL_NEXT_ENTRY) {
    acl_tag_t tag = ACL_UNDEFINED_TAG;
    acl_permset_t permissions = nullptr;
    if (acl_get_tag_type(entry, &tag) != 0 || acl_get_permset(entry, &permissions) != 0) continue;
    const bool write = acl_get_perm(permissions, ACL_WRITE) == 1;
    if (tag == ACL_MASK) {
      maskWrite = write;
      continue;
    }
    unsigned id = 0;
    if (tag == ACL_USER || tag == ACL_GROUP) {
      void* qualifier = acl_get_qualifier(entry);
      if (qualifier == nullptr) continue;
      id = tag == ACL_USER ? *static_cast<uid_t*>(qualifier) : *static_cast<gid_t*>(qualifier);
      acl_free(qualifier);
    }
    entries.push_back({tag, write, id});
  }
  acl_free(acl);
  for (const Entry& e : entries) {
    if (!e.write) continue;
    // The mask bounds every entry but the owner's and others'.
    switch (e.tag) {
      case ACL_USER:
        if (maskWrite && e.id != status.st_uid && e.id != 0) {
          return "writable by user " + std::to_string(e.id) + " through its ACL";
        }
        break;
      case ACL_GROUP_OBJ:
        if (maskWrite && !OwnerAlone(status.st_uid, status.st_gid)) {
          return GroupWritable(status.st_gid, "");
        }
        break;
      case ACL_GROUP:
        if (maskWrite && !OwnerAlone(status.st_uid, e.id)) {
          return GroupWritable(e.id, " through its ACL");
        }
        break;
      case ACL_OTHER:
        return std::string("writable by every user");
      default:
        break;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> Untrusted(int fd, const struct stat& status) {
  if (status.st_uid != geteuid() && status.st_uid != 0) {
    return "owned by another user (uid " + std::to_string(status.st_uid) + ")";
  }
  bool aclRead = false;
  if (auto why = UntrustedAcl(fd, status, aclRead)) return why;
  if (aclRead) return std::nullopt;
  // A sticky folder's others cannot replace what is in it, but may add what is missing.
  if ((status.st_mode & S_IWOTH) != 0) return std::string("writable by every user");
  if ((status.st_mode & S_IWGRP) != 0 && !OwnerAlone(status.st_uid, status.st_gid)) {
    return GroupWritable(status.st_gid, "");
  }
  return std::nullopt;
}

FileTrust TrustOfFile(int fd, const std::string& path) {
  FileTrust trust;
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    trust.why = std::string("a file that cannot be looked at: ") + std::strerror(errno);
    return trust;
  }
  const std::string whole = WholePath(path);
  trust.folder = FolderOf(whole);
  if (auto why = Untrusted(fd, status)) {
    trust.why = why;
    return trust;
  }
  // The folder that holds the file itself, not the one a link is in; it must hold the very
  // file opened, or the file was moved meanwhile.
  const Descriptor folder(open(trust.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat folderStatus {};
  struct stat there {};
  const std::string name = whole.substr(whole.rfind('/') + 1);
  if (!folder.IsOpen() || fstat(folder.Get(), &folderStatus) != 0) {
    trust.why = std::string("in a folder that cannot be looked at: ") + std::strerror(errno);
  } else if (fstatat(folder.Get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
             there.st_dev != status.st_dev || there.st_ino != status.st_ino) {
    trust.why = "moved while it was checked";
  } else if (auto why = Untrusted(folder.Get(), folderStatus)) {
    trust.why = "in a folder " + *why;
  }
  return trust;
}

std::string TrustFilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    return std::string(config) + "/branding-package/trust";
  }
  std::string home;
  if (const char* set = std::getenv("HOME"); set != nullptr && set[0] == '/') {
    home = set;
  } else if (const auto user = UserOf(geteuid())) {
    home = user->second;
  }
  return home + "/.config/branding-package/trust";
}

TrustedFolders ReadTrustedFolders() {
  TrustedFolders trusted;
  // One entry, from where it was written; false when it cannot be applied.
  auto add = [&](std::string_view entry, const std::string& where) {
    if (entry == "*") {
      trusted.every = true;
    } else if (entry.empty() || entry.front() != '/') {
      trusted.problem = where + "a trusted folder is named whole, from /: " + Shown(entry);
      return false;
    } else {
      trusted.folders.push_back(WholePath(std::string(entry)));
    }
    return true;
  };
  if (const char* variable = std::getenv(kTrustVariable)) {
    const std::string_view list = variable;
    for (std::size_t at = 0; at <= list.size();) {
      const std::size_t colon = std::min(list.find(':', at), list.size());
      const std::string_view entry = AsciiTrimmed(list.substr(at, colon - at));
      if (!entry.empty() && !add(entry, std::string(kTrustVariable) + ": ")) return trusted;
      at = colon + 1;
    }
  }
  const std::string path = TrustFilePath();
  Descriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.IsOpen()) {
    if (errno != ENOENT) {
      trusted.problem = Shown(path) + ": cannot open the trusted folders: " + std::strerror(errno);
    }
    return trusted;
  }
  const FileTrust trust = TrustOfFile(fd.Get(), path);
  if (trust.why) {
    trusted.problem = Shown(path) + ": the trusted folders are not read from it: it is " +
                      *trust.why + " (make it yours and writable by you alone)";
    return trusted;
  }
  FileSource file(std::move(fd));
  std::string text;
  if (!file.IsOpen() || file.Size() > kMaxTrustFileSize) {
    trusted.problem = Shown(path) + ": cannot read the trusted folders: " +
                      (file.IsOpen() ? "more than 65536 bytes" : file.OpenFailure());
    return trusted;
  }
  text.resize(static_cast<std::size_t>(file.Size()));
  if (!file.ReadAll(text.data(), file.Size())) {
    trusted.problem = Shown(path) + ": cannot read the trusted folders: " + file.ReadFailure();
    return trusted;
  }
  ForEachSetting(text, [&](int number, std::string_view entry) {
    return add(entry, Shown(path) + ":" + std::to_string(number) + ": ");
  });
  return trusted;
}

bool Covers(const TrustedFolders& trusted, const std::string& folder) {
  if (trusted.every) return true;
  return std::any_of(trusted.folders.begin(), trusted.folders.end(),
                     [&](const std::string& root) { return Within(folder, root); });
}

}  // namespace vantu::branding_package
