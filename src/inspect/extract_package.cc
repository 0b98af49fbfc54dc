#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>
#include <set>
#include <sys/stat.h>
#include <vector>

#include "inspect/commands.h"
#include "package/output_file.h"
#include "package/package_format.h"

namespace vantu::branding_package {

namespace {

constexpr char kLayoutFile[] = "layout.xml";

// A stored name that could leave the directory, or name nothing, is never used as a path.
bool IsSafeName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

// dir/name.
std::string Join(const std::string& dir, const std::string& name) {
  std::string path = dir;
  path += '/';
  path += name;
  return path;
}

Fault Io(const std::string& message) { return {FaultKind::kIo, 0, message}; }

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

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
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  std::uint64_t compared = 0;
  std::vector<unsigned char> staged;
  const bool same = content([&](const unsigned char* bytes, std::size_t n) {
    staged.resize(n);
    if (std::fread(staged.data(), 1, n, file.get()) != n) return false;
    compared += n;
    return std::memcmp(staged.data(), bytes, n) == 0;
  });
  return same && compared == size && std::fgetc(file.get()) == EOF;
}

}  // namespace

int ExtractPackage(const std::string& path, const std::string& dir, bool force,
                   std::ostream& out, std::ostream& err) {
  // First pass: a sound structure and safe names, before anything is written.
  std::vector<std::string> names{kLayoutFile};
  auto fault = WalkPackage(path, [&](const PackageRecord& r, const ContentReader&) {
    if (r.type != kImageRecord) return std::optional<Fault>();
    if (!IsSafeName(r.name) || r.name == kLayoutFile) {
      return std::optional<Fault>(Fault{FaultKind::kRefused, r.offset + kImageHeadSize,
                                        "refusing to extract an image named \"" + r.name + "\""});
    }
    names.push_back(r.name);
    return std::optional<Fault>();
  });
  if (fault) return ReportFault(err, path, *fault);

  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    return ReportFault(err, path, Io("cannot create directory " + dir));
  }
  const std::set<std::string> distinct(names.begin(), names.end());
  for (const std::string& name : distinct) {
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
  std::set<std::string> staged;
  fault = WalkPackage(path, [&](const PackageRecord& r, const ContentReader& content) {
    if (r.type == kLayoutRecord) {
      OutputFile file(Join(staging, kLayoutFile), true);
      file.Write(r.text.data(), r.text.size());
      if (!file.IsOpen() || !file.Commit()) return std::optional<Fault>(Io("cannot write layout.xml"));
    } else if (r.type == kImageRecord) {
      const std::string target = Join(staging, r.name);
      if (!staged.insert(r.name).second) {
        if (SameContent(target, r.dataSize, content)) return std::optional<Fault>();
        return std::optional<Fault>(Fault{FaultKind::kRefused, r.offset,
                                          "image name " + r.name +
                                              " is stored twice with different content"});
      }
      return WriteContent(target, content);
    }
    return std::optional<Fault>();
  });
  std::error_code ignored;
  if (fault) {
    std::filesystem::remove_all(staging, ignored);
    return ReportFault(err, path, *fault);
  }
  for (const std::string& name : distinct) {
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
