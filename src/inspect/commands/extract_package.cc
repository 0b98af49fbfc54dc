#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <vector>

#include "base/descriptor.h"
#include "base/folder_entry.h"
#include "base/output_file.h"
#include "base/shown.h"
#include "base/signal_cleanup.h"
#include "digest/sha256.h"
#include "inspect/commands/commands.h"
#include "inspect/model/package_contents.h"
#include "package/extract_names.h"

namespace vantu::branding_package {

namespace {

// dir/name.
std::string Join(const std::string& dir, const std::string& name) {
  std::string path = dir;
  path += '/';
  path += name;
  return path;
}

Fault Io(const std::string& message) { return {Status::kIo, kNoOffset, message}; }

// The system's reason for the last failure.
std::string Reason() { return std::strerror(errno); }

// Creates name in the open folder staging, never through a link, for writing.
OutputFile CreateIn(int staging, const std::string& name) {
  Descriptor fd(
      openat(staging, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  std::FILE* file = fd.IsOpen() ? fdopen(fd.Get(), "wb") : nullptr;
  if (file != nullptr) fd.Release();
  return OutputFile(file);
}

// Writes size bytes of source at offset as name in staging; messages name shown, the file
// it becomes.
std::optional<Fault> WriteContent(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                                  int staging, const std::string& name, const std::string& shown) {
  OutputFile file = CreateIn(staging, name);
  if (!file.IsOpen()) return Io("cannot create " + shown + ": " + Reason());
  std::uint64_t done = 0;
  if (!ReadPieces(source, offset, size, [&](const unsigned char* piece, std::size_t length) {
        file.Write(piece, length);
        done += length;
        return true;
      })) {
    return Fault{Status::kIo, offset + done, "cannot read the file: " + source.ReadFailure()};
  }
  if (!file.Commit()) return Io("cannot write " + shown + ": " + Reason());
  return std::nullopt;
}

// Writes layout.xml and every image of contents, once a name, into staging. Messages name
// the files in dir they become.
std::optional<Fault> Stage(ByteSource& source, const PackageContents& contents, int staging,
                           const std::string& dir) {
  const std::string layout = Join(dir, kExtractedLayoutName);
  OutputFile file = CreateIn(staging, kExtractedLayoutName);
  file.Write(contents.layoutText.data(), contents.layoutText.size());
  if (!file.IsOpen() || !file.Commit()) return Io("cannot write " + layout + ": " + Reason());
  std::set<std::string> staged;
  for (const ImageFacts& image : contents.images) {
    if (!staged.insert(image.name).second) continue;  // the plan made sure it is the same
    if (auto fault = WriteContent(source, image.dataOffset, image.size, staging, image.name,
                                  Join(dir, image.name))) {
      return fault;
    }
  }
  return std::nullopt;
}

// Refuses a target extract may not replace: any existing one without force; with it, a
// directory, or the package being extracted. folder/name is where it lies now, target its
// name in the messages.
std::optional<Fault> CheckTarget(int folder, const std::string& name, const std::string& target,
                                 Existing existing, const FileId& package) {
  struct stat status {};
  if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  if (existing == Existing::kRefuse)
    return Fault{Status::kRefused, kNoOffset, target + " exists; --force replaces it"};
  if (S_ISDIR(status.st_mode)) {
    return Fault{Status::kRefused, kNoOffset, target + " is a directory; only files are replaced"};
  }
  if (FileId{status.st_dev, status.st_ino} == package) {
    return Fault{Status::kRefused, kNoOffset, target + " is the package being extracted"};
  }
  return std::nullopt;
}

}  // namespace

// A file replaced with force is swapped with its staged copy in one step and checked again
// at that moment: a directory or the package found there is swapped back and refused.
// Nothing is ever removed here: the old files end in staging, which is emptied of files alone.
std::optional<Fault> PlaceExtracted(int staging, int dir, const std::string& dirName,
                                    const std::set<std::string>& names, Existing existing,
                                    const FileId& package, FileSystem& fs) {
  SignalsHeld held;
  std::vector<std::pair<std::string, bool>> done;  // name, whether it was swapped
  std::optional<Fault> fault;
  for (const std::string& name : names) {
    const std::string target = Join(dirName, name);
    if (fs.Rename(staging, name, dir, name, RENAME_NOREPLACE)) {
      done.emplace_back(name, false);
      continue;
    }
    if (errno != EEXIST) {
      fault = Io("cannot move " + name + " into " + dirName + ": " + Reason());
      break;
    }
    if (existing == Existing::kRefuse) {
      fault = Fault{Status::kRefused, kNoOffset, target + " exists; --force replaces it"};
      break;
    }
    if (!fs.Rename(staging, name, dir, name, RENAME_EXCHANGE)) {
      fault = Io("cannot replace " + target + ": " + Reason());
      break;
    }
    done.emplace_back(name, true);
    fault = CheckTarget(staging, name, target, Existing::kReplace, package);
    if (fault) break;
  }
  if (fault) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      const std::string& name = it->first;
      fs.Rename(it->second ? staging : dir, name, it->second ? dir : staging, name,
                it->second ? RENAME_EXCHANGE : RENAME_NOREPLACE);
    }
  }
  return fault;
}

namespace {

// Removes the staging folder, name in dir: its files (never a directory), then itself when
// empty.
void RemoveStaging(int dir, int staging, const std::string& name,
                   const std::set<std::string>& names) {
  for (const std::string& file : names) unlinkat(staging, file.c_str(), 0);
  unlinkat(dir, name.c_str(), AT_REMOVEDIR);
}

}  // namespace

std::optional<Fault> PlanExtraction(const PackageContents& contents, std::set<std::string>& names) {
  if (contents.fault) return contents.fault;
  names = {kExtractedLayoutName};
  std::map<std::string, const ImageFacts*> byName;
  for (const ImageFacts& image : contents.images) {
    if (!IsExtractableName(image.name)) {
      return Fault{Status::kRefused, image.recordOffset + kImageHeadSize,
                   "refusing to extract an image named \"" + image.name + "\""};
    }
    const auto [seen, added] = byName.emplace(image.name, &image);
    if (!added && seen->second->sha256 != image.sha256) {
      return Fault{Status::kRefused, image.recordOffset,
                   "image name " + image.name + " is stored twice with different content"};
    }
    names.insert(image.name);
  }
  return std::nullopt;
}

int ExtractPackage(const std::string& path, const std::string& dir, Existing existing,
                   std::ostream& out, std::ostream& err) {
  // One descriptor for both passes: the file checked is the file written from.
  FileSource source(path);
  if (!source.IsOpen()) return ReportFault(err, path, CannotOpen(source));
  return ExtractPackage(source, source.Id(), path, dir, existing, out, err);
}

int ExtractPackage(ByteSource& source, const FileId& package, const std::string& path,
                   const std::string& dir, Existing existing, std::ostream& out, std::ostream& err,
                   FileSystem& fs) {
  // The contents, read once with their digest: a sound structure and safe names, before
  // anything is written. The digest is taken again after the files are staged: a file
  // rewritten in place meanwhile (same descriptor, other bytes) is refused, not extracted
  // half old, half new.
  // The images' digests tell names apart; their pixels are not shown.
  const PackageContents contents = ReadPackageContents(source, FileDigest::kFirst, Learn::kDigest);
  std::set<std::string> names;
  auto fault = PlanExtraction(contents, names);
  if (fault) return ReportFault(err, path, *fault);

  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return ReportFault(err, path, Io("cannot create directory " + dir + ": " + Reason()));
  }
  // The folder is opened once; everything after happens inside it, by descriptor.
  const Descriptor folder(open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.IsOpen()) {
    return ReportFault(err, path, Io("cannot open directory " + dir + ": " + Reason()));
  }
  for (const std::string& name : names) {
    if (auto refused = CheckTarget(folder.Get(), name, Join(dir, name), existing, package)) {
      return ReportFault(err, path, *refused);
    }
  }

  // Second pass into a staging folder inside dir, moved into place only when complete.
  Descriptor staging;
  std::string stagingName;
  int slot = -1;
  {
    SignalsHeld held;
    stagingName = CreateUniqueEntry(".extract-", [&](const std::string& candidate) {
      if (mkdirat(folder.Get(), candidate.c_str(), 0700) != 0) return false;
      staging = Descriptor(
          openat(folder.Get(), candidate.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!staging.IsOpen()) unlinkat(folder.Get(), candidate.c_str(), AT_REMOVEDIR);
      return staging.IsOpen();
    });
    if (stagingName.empty()) {
      return ReportFault(err, path, Io("cannot create a directory in " + dir + ": " + Reason()));
    }
    slot = RemoveOnSignal(folder.Get(), stagingName, Removal::kDirectory);
  }
  fault = Stage(source, contents, staging.Get(), dir);
  if (!fault && Sha256Hex(source) != contents.sha256) {
    fault = Fault{Status::kRefused, kNoOffset,
                  "the package changed while it was read; nothing was extracted"};
  }
  if (!fault) {
    fault = PlaceExtracted(staging.Get(), folder.Get(), dir, names, existing, package, fs);
  }
  {
    SignalsHeld held;
    RemoveStaging(folder.Get(), staging.Get(), stagingName, names);
    ForgetOnSignal(slot);
    if (!fault) FinishDespiteSignals();
  }
  if (fault) return ReportFault(err, path, *fault);
  for (const std::string& name : names) out << Shown(dir + '/' + name) << '\n';
  out.flush();
  return 0;
}

}  // namespace vantu::branding_package
