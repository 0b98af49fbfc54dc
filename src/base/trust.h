// Whether a file another user could have written may steer this user's run: a policy file, a
// module to load. Trusted: owned by this user or by root, and writable by no one else.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace vantu::branding_package {

// Why a file or folder with status may not be trusted ("owned by user N", "writable by
// others"); none when it may. A group's write counts only for a group other than the owner's
// own.
std::optional<std::string> Untrusted(const struct stat& status);

// Why the folder at path may not be trusted ("in a folder writable by every user"), or cannot
// be looked at; none when it may.
std::optional<std::string> UntrustedFolder(const std::string& path);

}  // namespace vantu::branding_package
