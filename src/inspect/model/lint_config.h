// A project's policy file, .branding-lint: the findings it allows and denies, and the folders
// its images are in; and the policy a run applies, the command line winning over the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/file_id.h"
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

// The most bytes a policy file may have.
constexpr std::uint64_t kMaxConfigSize = std::uint64_t{64} << 10;

// The policy file that applies to the input at path: .branding-lint in its folder or the
// nearest parent that has one (a link, even one to nothing, counts), looking no higher than
// the repository's top (a folder that holds .git), nor into a folder every user may write;
// none when there is none.
std::optional<std::string> FindConfig(const std::string& inputPath);

// A policy file read, or why it cannot be used.
struct ConfigFile {
  std::string path;
  std::string text;
  std::optional<FileId> id;            // the file read
  std::string folder;                  // when found, the folder that holds it, whole
  std::optional<std::string> problem;  // "PATH: ..." when it cannot be read or trusted
};

// Reads the policy file at path (bounded by kMaxConfigSize); when found rather than named,
// one that another user could have written is refused, as git refuses a repository another
// user owns, unless the user trusts its folder (ReadTrustedFolders).
enum class ConfigOrigin { kFound, kNamed };
ConfigFile ReadConfig(const std::string& path, ConfigOrigin origin);

// Parses text, the policy file at path: lines "allow = ID, ID", "deny = ID" and "dir = PATH"
// (relative to the file's folder), '#' starting a comment. The first problem (an unknown key
// or id, an error allowed, with within a dir outside that folder) is "PATH:LINE: message".
std::variant<LintConfig, std::string> ParseConfig(
    const std::string& text, const std::string& path,
    const std::optional<std::string>& within = std::nullopt);

// The policy and image folders of a run on input.
struct ChosenPolicy {
  Policy policy;
  std::vector<std::string> dirs;          // the policy file's
  std::optional<std::string> configPath;  // the policy file read
  std::optional<FileId> configId;         // and which file it was, an input of the run
};

// The policy of a run on input: the policy file's (configPath, else the one found from input
// up, whose dir lines stay inside its repository, or its own folder outside one), under
// commandLine's; the problem, for a person, when either cannot be applied.
std::variant<ChosenPolicy, std::string> ChoosePolicy(const std::string& input,
                                                     const Policy& commandLine,
                                                     const std::optional<std::string>& configPath);

// The policy file at path as a make prerequisite names it: a bare ".branding-lint" would read
// to make as a special target, so it is named whole.
std::string ConfigPrerequisite(const std::string& path);

// The policy of a run: the file's, then the command line's on top (an id the command line
// allows is no longer denied, and the other way round).
Policy Merged(const Policy& file, const Policy& commandLine);

}  // namespace vantu::branding_package
