#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>
#include <vector>

#include "base/output_file.h"
#include "base/shown.h"
#include "base/signal_cleanup.h"
#include "inspect/commands.h"
#include "package/extract_names.h"

namespace vantu::branding_package {

namespace {

// The refusal of an image record whose name is not safe; none for a safe one.
std::optional<Fault> CheckName(const PackageRecord& r) {
  if (r.type != RecordType::kImage || IsExtractableName(r.name)) return std::nullopt;
  return Fault{FaultKind::kRefused, r.offset + kImageHeadSize,
               "refusing to extract an image named \"" + r.name + "\""};
}

// dir/name.
std::string Join(const std::string& dir, const std::string& name) {
  std::string path = dir;
  path += '/';
  path += name;
  return path;
}

Fault Io(const std::string& message) { return {FaultKind::kIo, kNoOffset, message}; }

// The system's reason for the last failure.
std::string Reason() { return std::strerror(errno); }

// Streams the record's content into path.
std::optional<Fault> WriteContent(const std::string& path, const ContentReader& content) {
  OutputFile file(path, true);
  if (!file.IsOpen()) return Io("cannot create " + path + ": " + Reason());
  if (!content([&](const unsigned char* bytes, std::size_t size) {
        file.Write(bytes, size);
        return true;
      })) {
    return Fault{FaultKind::kIo, kNoOffset, "cannot read the package"};
  }
  if (!file.Commit()) return Io("cannot write " + path + ": " + Reason());
  return std::nullopt;
}

// Whether the record's content equals what path holds.
bool SameContent(const std::string& path, std::uint64_t size, const ContentReader& content) {
  FileSource file(path);
  if (!file.IsOpen() || file.Size() != size) return false;
  std::uint64_t compared = 0;
  std::vector<unsigned char> staged;
  const bool same = content([&](const unsigned char* bytes, std::size_t n) {
    staged.resize(n);
    if (!file.ReadAt(compared, staged.data(), n)) return false;
    compared += n;
    return std::memcmp(staged.data(), bytes, n) == 0;
  });
  return same && compared == size;
}

// Writes every file of the package into staging; a name is checked again on the record
// whose bytes are written.
std::optional<Fault> Stage(ByteSource& source, const std::string& staging) {
  std::set<std::string> staged;
  return WalkPackage(source, [&](const PackageRecord& r, const ContentReader& content) {
    if (auto refused = CheckName(r)) return refused;
    switch (r.type) {
      case RecordType::kLayout: {
        OutputFile file(Join(staging, kExtractedLayoutName), true);
        file.Write(r.text.data(), r.text.size());
        if (!file.IsOpen() || !file.Commit()) {
          return std::optional<Fault>(Io("cannot write layout.xml: " + Reason()));
        }
        return std::optional<Fault>();
      }
      case RecordType::kImage: {
        const std::string target = Join(staging, r.name);
        if (!staged.insert(r.name).second) {
          if (SameContent(target, r.dataSize, content)) return std::optional<Fault>();
          return std::optional<Fault>(Fault{FaultKind::kRefused, r.offset,
                                            "image name " + r.name +
                                                " is stored twice with different content"});
        }
        return WriteContent(target, content);
      }
      case RecordType::kEnd:
        return std::optional<Fault>();
    }
    return std::optional<Fault>();
  });
}

// Refuses a target extract may not replace: any existing one without force, a directory
// even with it.
std::optional<Fault> CheckTarget(const std::string& target, bool force) {
  struct stat status {};
  if (lstat(target.c_str(), &status) != 0) return std::nullopt;
  if (!force) return Fault{FaultKind::kRefused, kNoOffset, target + " exists; --force replaces it"};
  if (S_ISDIR(status.st_mode)) {
    return Fault{FaultKind::kRefused, kNoOffset, target + " is a directory; only files are replaced"};
  }
  return std::nullopt;
}

// Moves every staged file into dir with signals held, all or nothing: the files a failure
// would leave replaced are put back as they were. Without force nothing is overwritten, not
// even a file that appeared since the check.
std::optional<Fault> Place(const std::string& staging, const std::string& dir,
                           const std::set<std::string>& names, bool force) {
  SignalsHeld held;
  std::string backups;
  std::vector<std::string> placed;
  std::vector<std::string> saved;
  std::optional<Fault> fault;
  for (const std::string& name : names) {
    const std::string target = Join(dir, name);
    struct stat status {};
    if (force && lstat(target.c_str(), &status) == 0) {
      if (backups.empty()) {
        backups = dir + "/.extract-XXXXXX";
        if (mkdtemp(backups.data()) == nullptr) {
          backups.clear();
          fault = Io("cannot create a directory in " + dir + ": " + Reason());
          break;
        }
      }
      if (std::rename(target.c_str(), Join(backups, name).c_str()) != 0) {
        fault = Io("cannot move " + target + " aside: " + Reason());
        break;
      }
      saved.push_back(name);
    }
    if (renameat2(AT_FDCWD, Join(staging, name).c_str(), AT_FDCWD, target.c_str(),
                  force ? 0 : RENAME_NOREPLACE) != 0) {
      fault = errno == EEXIST
                  ? Fault{FaultKind::kRefused, kNoOffset, target + " exists; --force replaces it"}
                  : Io("cannot move " + name + " into " + dir + ": " + Reason());
      break;
    }
    placed.push_back(name);
  }
  if (fault) {
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
      std::rename(Join(dir, *it).c_str(), Join(staging, *it).c_str());
    }
    for (const std::string& name : saved) {
      std::rename(Join(backups, name).c_str(), Join(dir, name).c_str());
    }
  }
  if (!backups.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(backups, ignored);
  }
  return fault;
}

}  // namespace

std::optional<Fault> PlanExtraction(ByteSource& source, std::set<std::string>& names) {
  names = {kExtractedLayoutName};
  return WalkPackage(source, [&](const PackageRecord& r, const ContentReader&) {
    if (auto refused = CheckName(r)) return refused;
    if (r.type == RecordType::kImage) names.insert(r.name);
    return std::optional<Fault>();
  });
}

int ExtractPackage(const std::string& path, const std::string& dir, bool force,
                   std::ostream& out, std::ostream& err) {
  // One descriptor for both passes: the file checked is the file written from.
  FileSource source(path);
  if (!source.IsOpen()) return ReportFault(err, path, CannotOpen(source));
  // First pass: a sound structure and safe names, before anything is written.
  std::set<std::string> names;
  auto fault = PlanExtraction(source, names);
  if (fault) return ReportFault(err, path, *fault);

  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return ReportFault(err, path, Io("cannot create directory " + dir + ": " + Reason()));
  }
  for (const std::string& name : names) {
    if (auto refused = CheckTarget(Join(dir, name), force)) return ReportFault(err, path, *refused);
  }

  // Second pass into a staging directory inside dir, moved into place only when complete.
  std::string staging = dir + "/.extract-XXXXXX";
  int slot = -1;
  {
    SignalsHeld held;
    if (mkdtemp(staging.data()) == nullptr) {
      return ReportFault(err, path, Io("cannot create a directory in " + dir + ": " + Reason()));
    }
    slot = RemoveOnSignal(staging, true);
  }
  fault = Stage(source, staging);
  if (!fault) fault = Place(staging, dir, names, force);
  {
    SignalsHeld held;
    std::error_code ignored;
    std::filesystem::remove_all(staging, ignored);
    ForgetOnSignal(slot);
  }
  if (fault) return ReportFault(err, path, *fault);
  for (const std::string& name : names) out << Shown(dir + '/' + name) << '\n';
  out.flush();
  return 0;
}

}  // namespace vantu::branding_package
