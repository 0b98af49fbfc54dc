#include "inspect/model/lint_config.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/ascii.h"
#include "base/byte_source.h"
#include "base/folder_of.h"
#include "base/nearest.h"
#include "base/shown.h"
#include "base/trust.h"

namespace vantu::branding_package {

namespace {

// Whether path names anything, a link to nothing included.
bool Exists(const std::string& path) {
  struct stat status {};
  return lstat(path.c_str(), &status) == 0;
}

// The repository the folder (whole) is in: the nearest at or above it that holds .git; else
// the folder itself.
std::string RepositoryOf(const std::string& folder) {
  for (std::string at = folder; !at.empty();) {
    if (Exists(InFolder(at, ".git"))) return at;
    if (at == "/") break;
    at = FolderOf(at);
  }
  return folder;
}

}  // namespace

std::optional<std::string> FindConfig(const std::string& inputPath) {
  std::string folder = FolderOf(inputPath);
  for (int depth = 0; depth < 256; ++depth) {
    const std::string candidate = InFolder(folder, kConfigName);
    if (Exists(candidate)) return candidate;
    if (Exists(InFolder(folder, ".git"))) return std::nullopt;
    // Up one: a relative folder gains "../" until the root is reached.
    char resolved[PATH_MAX];
    if (realpath(folder.empty() ? "." : folder.c_str(), resolved) == nullptr) return std::nullopt;
    if (std::string(resolved) == "/") return std::nullopt;
    folder = InFolder(folder, "..");
    // A folder every user may write is no project's: what lies in it or above is not looked
    // at. Another user's folder is climbed, and what is found there must be trusted.
    struct stat parent {};
    if (stat(folder.c_str(), &parent) != 0 || (parent.st_mode & S_IWOTH) != 0) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

ConfigFile ReadConfig(const std::string& path, ConfigOrigin origin) {
  ConfigFile config{path, "", std::nullopt, "", std::nullopt};
  // Not blocking on a FIFO; a link is followed, to a file that must itself be trusted.
  Descriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.IsOpen()) {
    const int error = errno;
    struct stat link {};
    const bool dangling = error == ENOENT && lstat(path.c_str(), &link) == 0;
    config.problem = Shown(path) + ": cannot open the policy file: " +
                     (dangling ? std::string("it is a link to nothing") : std::strerror(error));
    return config;
  }
  struct stat status {};
  if (fstat(fd.Get(), &status) != 0) {
    config.problem = Shown(path) + ": cannot read the policy file: " + std::strerror(errno);
    return config;
  }
  if (origin == ConfigOrigin::kFound) {
    // As git refuses a repository another user owns: a refusal stops the run, and says how
    // to trust the folder.
    const FileTrust trust = TrustOfFile(fd.Get(), path);
    config.folder = trust.folder;
    if (trust.why) {
      const TrustedFolders trusted = ReadTrustedFolders();
      if (trusted.problem) {
        config.problem = *trusted.problem;
        return config;
      }
      if (!Covers(trusted, trust.folder)) {
        config.problem = Shown(path) + ": policy file not trusted: it is " + *trust.why +
                         "; if you trust who may write it, add its folder " + Shown(trust.folder) +
                         " to " + Shown(TrustFilePath()) + " or to " + kTrustVariable +
                         ", or name a policy with --config";
        return config;
      }
    }
  }
  FileSource file(std::move(fd));
  if (!file.IsOpen()) {
    config.problem = Shown(path) + ": cannot read the policy file: " + file.OpenFailure();
  } else if (file.Size() > kMaxConfigSize) {
    config.problem = Shown(path) + ": policy file too large (more than " +
                     std::to_string(kMaxConfigSize) + " bytes)";
  } else {
    config.text.resize(static_cast<std::size_t>(file.Size()));
    if (!file.ReadAll(config.text.data(), file.Size())) {
      config.problem = Shown(path) + ": cannot read the policy file: " + file.ReadFailure();
    } else {
      config.id = file.Id();
    }
  }
  return config;
}

std::variant<LintConfig, std::string> ParseConfig(const std::string& text, const std::string& path,
                                                  const std::optional<std::string>& within) {
  LintConfig config;
  config.path = path;
  std::vector<std::string> ids;
  for (const FindingKind& kind : FindingCatalogue()) ids.emplace_back(kind.id);
  std::optional<std::string> problem;
  ForEachSetting(text, [&](int number, std::string_view content) {
    const std::string where = Shown(path) + ":" + std::to_string(number) + ": ";
    const std::size_t equals = content.find('=');
    const std::string key(AsciiTrimmed(content.substr(0, equals)));
    const std::string value = equals == std::string_view::npos
                                  ? ""
                                  : std::string(AsciiTrimmed(content.substr(equals + 1)));
    if (equals == std::string::npos || value.empty()) {
      problem = where + "expected KEY = VALUE (allow, deny or dir)";
    } else if (key == "dir") {
      std::string dir = value.front() == '/' ? value : InFolder(FolderOf(path), value);
      if (within && !Within(WholePath(dir), *within)) {
        problem = where + "dir " + Shown(value) + " leaves " + Shown(*within) +
                  ", the tree this policy file was found in (give such a folder with --dir, or "
                  "name the policy with --config)";
      }
      config.dirs.push_back(std::move(dir));
    } else if (key != "allow" && key != "deny") {
      problem = where + "unknown key " + Shown(key) + DidYouMean(key, {"allow", "deny", "dir"}) +
                "; the keys are allow, deny and dir";
    } else {
      std::set<std::string>& set = key == "allow" ? config.policy.allowed : config.policy.denied;
      for (const std::string& id : CommaList(value)) set.insert(id);
      if (auto wrong = PolicyProblem(config.policy)) problem = where + *wrong;
    }
    return !problem;
  });
  if (problem) return *problem;
  return config;
}

std::variant<ChosenPolicy, std::string> ChoosePolicy(const std::string& input,
                                                     const Policy& commandLine,
                                                     const std::optional<std::string>& configPath) {
  if (auto problem = PolicyProblem(commandLine)) return *problem;
  ChosenPolicy chosen{commandLine, {}, std::nullopt, std::nullopt};
  const std::optional<std::string> path = configPath ? configPath : FindConfig(input);
  if (!path) return chosen;
  ConfigFile file = ReadConfig(*path, configPath ? ConfigOrigin::kNamed : ConfigOrigin::kFound);
  if (file.problem) return *file.problem;
  chosen.configPath = *path;
  chosen.configId = file.id;
  // A policy found beside someone else's layout names no folder outside its repository.
  std::optional<std::string> within;
  if (!configPath) within = RepositoryOf(file.folder);
  auto parsed = ParseConfig(file.text, *path, within);
  if (auto* problem = std::get_if<std::string>(&parsed)) return std::move(*problem);
  const LintConfig& config = std::get<LintConfig>(parsed);
  chosen.policy = Merged(config.policy, commandLine);
  chosen.dirs = config.dirs;
  return chosen;
}

std::string ConfigPrerequisite(const std::string& path) {
  if (path.find('/') != std::string::npos) return path;
  std::error_code error;
  const std::filesystem::path whole = std::filesystem::absolute(path, error);
  return error ? path : whole.string();
}

Policy Merged(const Policy& file, const Policy& commandLine) {
  Policy policy = commandLine;
  for (const std::string& id : file.allowed) {
    if (commandLine.denied.count(id) == 0) policy.allowed.insert(id);
  }
  for (const std::string& id : file.denied) {
    if (commandLine.allowed.count(id) == 0) policy.denied.insert(id);
  }
  return policy;
}

}  // namespace vantu::branding_package
