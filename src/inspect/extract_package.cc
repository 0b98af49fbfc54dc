#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <set>
#include <vector>

#include "base/output_file.h"
#include "base/shown.h"
#include "base/signal_cleanup.h"
#include "digest/sha256.h"
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

// Streams the record's content into path; messages name shown, the file it becomes.
std::optional<Fault> WriteContent(const std::string& path, const std::string& shown,
                                  const ContentReader& content) {
  OutputFile file(path, Mode::kBinary);
  if (!file.IsOpen()) return Io("cannot create " + shown + ": " + Reason());
  if (!content([&](const unsigned char* bytes, std::size_t size) {
        file.Write(bytes, size);
        return true;
      })) {
    return Fault{FaultKind::kIo, kNoOffset, "cannot read the package"};
  }
  if (!file.Commit()) return Io("cannot write " + shown + ": " + Reason());
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
// whose bytes are written. Messages name the files in dir they become.
std::optional<Fault> Stage(ByteSource& source, const std::string& staging, const std::string& dir) {
  std::set<std::string> staged;
  return WalkPackage(source, [&](const PackageRecord& r, const ContentReader& content) {
    if (auto refused = CheckName(r)) return refused;
    switch (r.type) {
      case RecordType::kLayout: {
        const std::string shown = Join(dir, kExtractedLayoutName);
        OutputFile file(Join(staging, kExtractedLayoutName), Mode::kBinary);
        file.Write(r.text.data(), r.text.size());
        if (!file.IsOpen() || !file.Commit()) {
          return std::optional<Fault>(Io("cannot write " + shown + ": " + Reason()));
        }
        return std::optional<Fault>();
      }
      case RecordType::kImage: {
        const std::string target = Join(staging, r.name);
        if (!staged.insert(r.name).second) {
          if (SameContent(target, r.dataSize, content)) return std::optional<Fault>();
          return std::optional<Fault>(
              Fault{FaultKind::kRefused, r.offset,
                    "image name " + r.name + " is stored twice with different content"});
        }
        return WriteContent(target, Join(dir, r.name), content);
      }
      case RecordType::kEnd:
        return std::optional<Fault>();
    }
    return std::optional<Fault>();
  });
}

// Refuses a target extract may not replace: any existing one without force; with it, a
// directory, or the package being extracted. path is where it lies now, target its name
// in the messages.
std::optional<Fault> CheckTarget(const std::string& path, const std::string& target, bool force,
                                 const FileId& package) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) return std::nullopt;
  if (!force) return Fault{FaultKind::kRefused, kNoOffset, target + " exists; --force replaces it"};
  if (S_ISDIR(status.st_mode)) {
    return Fault{FaultKind::kRefused, kNoOffset,
                 target + " is a directory; only files are replaced"};
  }
  if (FileId{status.st_dev, status.st_ino} == package) {
    return Fault{FaultKind::kRefused, kNoOffset, target + " is the package being extracted"};
  }
  return std::nullopt;
}

}  // namespace

// A file replaced with force is swapped with its staged copy in one step and checked again
// at that moment: a directory or the package found there is swapped back and refused.
// Nothing is ever removed here: the old files end in staging, which is emptied of files alone.
std::optional<Fault> PlaceExtracted(const std::string& staging, const std::string& dir,
                                    const std::set<std::string>& names, bool force,
                                    const FileId& package, FileSystem& fs) {
  SignalsHeld held;
  std::vector<std::pair<std::string, bool>> done;  // name, whether it was swapped
  std::optional<Fault> fault;
  for (const std::string& name : names) {
    const std::string target = Join(dir, name);
    const std::string staged = Join(staging, name);
    if (fs.Rename(staged, target, RENAME_NOREPLACE)) {
      done.emplace_back(name, false);
      continue;
    }
    if (errno != EEXIST) {
      fault = Io("cannot move " + name + " into " + dir + ": " + Reason());
      break;
    }
    if (!force) {
      fault = Fault{FaultKind::kRefused, kNoOffset, target + " exists; --force replaces it"};
      break;
    }
    if (!fs.Rename(staged, target, RENAME_EXCHANGE)) {
      fault = Io("cannot replace " + target + ": " + Reason());
      break;
    }
    done.emplace_back(name, true);
    fault = CheckTarget(staged, target, true, package);
    if (fault) break;
  }
  if (fault) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      const std::string target = Join(dir, it->first);
      const std::string staged = Join(staging, it->first);
      if (it->second) {
        fs.Rename(staged, target, RENAME_EXCHANGE);
      } else {
        fs.Rename(target, staged, RENAME_NOREPLACE);
      }
    }
  }
  return fault;
}

namespace {

// Removes the staging directory: its files (never a directory), then itself when empty.
void RemoveStaging(const std::string& staging, const std::set<std::string>& names) {
  for (const std::string& name : names) unlink(Join(staging, name).c_str());
  rmdir(staging.c_str());
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

int ExtractPackage(const std::string& path, const std::string& dir, bool force, std::ostream& out,
                   std::ostream& err) {
  // One descriptor for both passes: the file checked is the file written from.
  FileSource source(path);
  if (!source.IsOpen()) return ReportFault(err, path, CannotOpen(source));
  return ExtractPackage(source, source.Id(), path, dir, force, out, err);
}

int ExtractPackage(ByteSource& source, const FileId& package, const std::string& path,
                   const std::string& dir, bool force, std::ostream& out, std::ostream& err) {
  // The digest before the first pass and after the second: a file rewritten in place
  // meanwhile (same descriptor, other bytes) is refused, not extracted half old, half new.
  const std::optional<std::string> digest = Sha256Hex(source);
  if (!digest) return ReportFault(err, path, Io("cannot read the file: " + source.ReadFailure()));
  // First pass: a sound structure and safe names, before anything is written.
  std::set<std::string> names;
  auto fault = PlanExtraction(source, names);
  if (fault) return ReportFault(err, path, *fault);

  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return ReportFault(err, path, Io("cannot create directory " + dir + ": " + Reason()));
  }
  for (const std::string& name : names) {
    const std::string target = Join(dir, name);
    if (auto refused = CheckTarget(target, target, force, package)) {
      return ReportFault(err, path, *refused);
    }
  }

  // Second pass into a staging directory inside dir, moved into place only when complete.
  std::string staging = dir + "/.extract-XXXXXX";
  int slot = -1;
  {
    SignalsHeld held;
    if (mkdtemp(staging.data()) == nullptr) {
      return ReportFault(err, path, Io("cannot create a directory in " + dir + ": " + Reason()));
    }
    slot = RemoveOnSignal(staging, Removal::kDirectory);
  }
  fault = Stage(source, staging, dir);
  if (!fault && Sha256Hex(source) != digest) {
    fault = Fault{FaultKind::kRefused, kNoOffset,
                  "the package changed while it was read; nothing was extracted"};
  }
  if (!fault) fault = PlaceExtracted(staging, dir, names, force, package);
  {
    SignalsHeld held;
    RemoveStaging(staging, names);
    ForgetOnSignal(slot);
  }
  if (fault) return ReportFault(err, path, *fault);
  for (const std::string& name : names) out << Shown(dir + '/' + name) << '\n';
  out.flush();
  return 0;
}

}  // namespace vantu::branding_package
