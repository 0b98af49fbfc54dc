#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>
#include <vector>

#include "base/output_file.h"
#include "inspect/commands.h"

namespace vantu::branding_package {

namespace {

constexpr char kLayoutFile[] = "layout.xml";

// A stored name that could leave the directory, or name nothing, is never used as a path.
bool IsSafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name != kLayoutFile;
}

// The refusal of an image record whose name is not safe; none for a safe one.
std::optional<Fault> CheckName(const PackageRecord& r) {
  if (r.type != RecordType::kImage || IsSafeName(r.name)) return std::nullopt;
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

Fault Io(const std::string& message) { return {FaultKind::kIo, 0, message}; }

// Streams the record's content into path.
std::optional<Fault> WriteContent(const std::string& path, const ContentReader& content) {
  OutputFile file(path, true);
  if (!file.IsOpen()) return Io("cannot create " + path);
  if (!content([&](const unsigned char* bytes, std::size_t size) {
        file.Write(bytes, size);
        return true;
      })) {
    return Fault{FaultKind::kIo, 0, "cannot read the package"};
  }
  if (!file.Commit()) return Io("cannot write " + path);
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
        OutputFile file(Join(staging, kLayoutFile), true);
        file.Write(r.text.data(), r.text.size());
        if (!file.IsOpen() || !file.Commit()) return std::optional<Fault>(Io("cannot write layout.xml"));
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

}  // namespace

std::optional<Fault> PlanExtraction(ByteSource& source, std::set<std::string>& names) {
  names = {kLayoutFile};
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
  if (!source.IsOpen() || !source.IsRegular()) return ReportFault(err, path, CannotOpen());
  // First pass: a sound structure and safe names, before anything is written.
  std::set<std::string> names;
  auto fault = PlanExtraction(source, names);
  if (fault) return ReportFault(err, path, *fault);

  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return ReportFault(err, path, Io("cannot create directory " + dir));
  }
  for (const std::string& name : names) {
    struct stat status {};
    if (!force && lstat(Join(dir, name).c_str(), &status) == 0) {
      return ReportFault(err, path, Fault{FaultKind::kRefused, 0,
                                          Join(dir, name) + " exists; --force replaces it"});
    }
  }

  // Second pass into a staging directory inside dir, moved into place only when complete.
  std::string staging = dir + "/.extract-XXXXXX";
  if (mkdtemp(staging.data()) == nullptr) {
    return ReportFault(err, path, Io("cannot create a directory in " + dir));
  }
  fault = Stage(source, staging);
  std::error_code ignored;
  if (fault) {
    std::filesystem::remove_all(staging, ignored);
    return ReportFault(err, path, *fault);
  }
  for (const std::string& name : names) {
    if (std::rename(Join(staging, name).c_str(), Join(dir, name).c_str()) != 0) {
      std::filesystem::remove_all(staging, ignored);
      return ReportFault(err, path, Io("cannot move " + name + " into " + dir));
    }
    out << dir << '/' << name << '\n';
  }
  std::filesystem::remove_all(staging, ignored);
  out.flush();
  return 0;
}

}  // namespace vantu::branding_package
