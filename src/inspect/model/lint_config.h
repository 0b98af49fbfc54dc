// A project's policy file, .branding-lint: the findings it allows and denies, and the folders
// its images are in; and the policy a run applies, the command line winning over the file.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "inspect/model/findings.h"

namespace vantu::branding_package {

// The policy file's name.
constexpr char kConfigName[] = ".branding-lint";

// What a policy file says.
struct LintConfig {
  std::string path;               // the file read
  Policy policy;                  // its allow and deny lines (strict stays the command line's)
  std::vector<std::string> dirs;  // its dir lines, each as a path from the working folder
};

// The policy file that applies to the input at path: .branding-lint in its folder or the
// nearest parent that has one, looking no higher than the repository's top (a folder that
// holds .git); none when there is none.
std::optional<std::string> FindConfig(const std::string& inputPath);

// Parses text, the policy file at path: lines "allow = ID, ID", "deny = ID" and "dir = PATH"
// (relative to the file's folder), '#' starting a comment. The first problem (an unknown key
// or id, an error allowed) is "PATH:LINE: message".
std::variant<LintConfig, std::string> ParseConfig(const std::string& text, const std::string& path);

// The policy of a run: the file's, then the command line's on top (an id the command line
// allows is no longer denied, and the other way round).
Policy Merged(const Policy& file, const Policy& commandLine);

}  // namespace vantu::branding_package
