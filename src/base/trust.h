// Whether a file another user could have written may steer this user's run: a policy file, a
// module to load. Trusted: owned by this user or by root, and writable by no one else, by its
// mode or its ACL; and so is the folder that holds it.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

namespace vantu::branding_package {

// Why the file or folder open at fd, with status, may not be trusted ("owned by another user
// (uid N)", "writable by every user", "writable by user N through its ACL"); none when it may.
// A group's write counts only for a group whose one member is the owner.
std::optional<std::string> Untrusted(int fd, const struct stat& status);

// What is known of the trust in a file opened from a path.
struct FileTrust {
  std::string folder;              // the folder that holds it (what a link leads to), whole
  std::optional<std::string> why;  // why it may not be trusted: the file, or that folder
};

// The trust in the file open at fd, opened from path: its own, and that of the folder that
// really holds it, which must hold that very file still.
FileTrust TrustOfFile(int fd, const std::string& path);

// The folders this user trusts whoever owns them or may write them, as git's safe.directory:
// those in the environment's kTrustVariable (separated by ':'), then one a line in the file
// TrustFilePath() names ('#' starts a comment); "*" trusts every folder.
constexpr char kTrustVariable[] = "BRANDING_PACKAGE_TRUST";
struct TrustedFolders {
  std::vector<std::string> folders;    // whole paths, links resolved
  bool every = false;                  // "*"
  std::optional<std::string> problem;  // why the setting cannot be applied, for a person
};
TrustedFolders ReadTrustedFolders();

// The user's file of trusted folders: $XDG_CONFIG_HOME/branding-package/trust, by default
// ~/.config/branding-package/trust.
std::string TrustFilePath();

// Whether folder (whole, links resolved) is one of trusted or inside one.
bool Covers(const TrustedFolders& trusted, const std::string& folder);

}  // namespace vantu::branding_package
