#include "base/trust.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantu::branding_package {

namespace {

// Whether gid is the primary group of uid, as a private group is (no one else writes there).
bool OwnersOwnGroup(uid_t uid, gid_t gid) {
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  return getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
         entry.pw_gid == gid;
}

}  // namespace

std::optional<std::string> Untrusted(const struct stat& status) {
  if (status.st_uid != geteuid() && status.st_uid != 0) {
    return "owned by another user (uid " + std::to_string(status.st_uid) + ")";
  }
  // A sticky folder's others cannot replace what is in it, but may add what is missing.
  if ((status.st_mode & S_IWOTH) != 0) return std::string("writable by every user");
  if ((status.st_mode & S_IWGRP) != 0 && !OwnersOwnGroup(status.st_uid, status.st_gid)) {
    return "writable by group " + std::to_string(status.st_gid);
  }
  return std::nullopt;
}

std::optional<std::string> UntrustedFolder(const std::string& path) {
  struct stat status {};
  if (stat(path.empty() ? "." : path.c_str(), &status) != 0) {
    return std::string("cannot be looked at: ") + std::strerror(errno);
  }
  if (auto why = Untrusted(status)) return "in a folder " + *why;
  return std::nullopt;
}

}  // namespace vantu::branding_package
