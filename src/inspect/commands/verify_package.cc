#include <algorithm>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/shown.h"
#include "digest/sha256.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/json.h"
#include "inspect/model/checks.h"
#include "inspect/model/package_contents.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

namespace {

void PrintJson(std::ostream& out, const std::string& path, const PackageContents& contents,
               const std::vector<Finding>& findings, int allowed, int status) {
  out << JsonHead("verify", path, status) << ",\"sound\":" << (status == 0 ? "true" : "false")
      << ",\"size\":" << contents.fileSize
      << ",\"sha256\":" << (contents.fault ? std::string("null") : JsonString(contents.sha256))
      << ",\"images\":[";
  bool first = true;
  for (const ImageFacts& image : contents.images) {
    if (!image.decoded.ok) continue;
    out << (first ? "" : ",") << '{' << JsonImageFields(image) << ",\"dataSize\":" << image.size
        << '}';
    first = false;
  }
  out << "],\"allowed\":" << allowed << JsonTail(findings, contents.fault);
}

}  // namespace

int VerifyPackage(ByteSource& source, const std::string& path, const VerifyOptions& options,
                  std::ostream& out, std::ostream& err) {
  const PackageContents contents =
      ReadPackageContents(source, options.sha256 ? FileDigest::kFirst : FileDigest::kSound);
  std::vector<Finding> findings;
  int allowed = 0;
  if (!contents.fault) {
    findings = ApplyPolicy(PackageFindings(contents, LayoutDocument(contents.layoutText), path),
                           options.policy, allowed);
  }
  if (!contents.fault && options.sha256 && contents.sha256 != AsciiLower(*options.sha256)) {
    findings.push_back({&Kind(FindingId::kDigest), path, 0, 0, kNoOffset,
                        "SHA-256 is " + contents.sha256 + ", expected " + *options.sha256});
  }
  const int status = contents.fault ? static_cast<int>(contents.fault->kind)
                                    : StatusOf(findings, options.policy.strict);
  if (options.json) {
    PrintJson(out, path, contents, findings, allowed, status);
    out.flush();
    return status;
  }
  if (contents.fault) return ReportFault(err, path, *contents.fault);
  PrintFindings(err, findings);
  err.flush();
  if (status != 0) return status;
  out << Shown(path) << ": sound package of " << contents.fileSize << " bytes, "
      << contents.images.size() << (contents.images.size() == 1 ? " image" : " images") << '\n'
      << "  SHA-256: " << contents.sha256 << '\n';
  for (const ImageFacts& image : contents.images) {
    out << "  " << Shown(image.name) << ": " << FormatName(image.format) << ", "
        << PixelsText(image) << ", " << image.size << " bytes\n";
  }
  out.flush();
  return 0;
}

namespace {

// The first record of built (read as contents) whose bytes file does not hold, for a person
// ("the record of image logo.jpg at offset 1497"), and its offset; none when file is built.
std::optional<std::pair<std::uint64_t, std::string>> FirstDifference(
    const std::string& built, const PackageContents& contents, ByteSource& file) {
  auto differs = [&](std::uint64_t offset, std::uint64_t size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    return !file.ReadAt(offset, bytes.data(), size) ||
           bytes.compare(0, bytes.size(), built, static_cast<std::size_t>(offset),
                         static_cast<std::size_t>(size)) != 0;
  };
  for (const StoredRecord& r : contents.records) {
    if (!differs(r.offset, r.size)) continue;
    std::string what;
    switch (r.type) {
      case RecordType::kLayout:
        what = "the layout record";
        break;
      case RecordType::kImage:
        what = "the record of image " + Shown(contents.images[r.image].name);
        break;
      case RecordType::kEnd:
        what = "the end record";
        break;
    }
    return std::make_pair(r.offset, what + " at offset " + std::to_string(r.offset));
  }
  // A record that differs makes the header's size differ too: it is named first.
  if (differs(0, kHeaderSize)) return std::make_pair(std::uint64_t{0}, "the header");
  if (file.Size() != built.size()) {
    return std::make_pair(std::uint64_t{built.size()},
                          "what follows offset " + std::to_string(built.size()));
  }
  return std::nullopt;
}

}  // namespace

int VerifyBuilt(const std::string& packagePath, const std::string& layoutPath,
                const CheckRequest& request, bool json, std::ostream& out, std::ostream& err) {
  const FormatRun run{"verify", packagePath, json ? LintFormat::kJson : LintFormat::kText,
                      request.commandLine.denied, std::nullopt};
  auto failed = [&](const std::string& path, const Fault& fault) {
    if (json)
      out << JsonHead("verify", packagePath, static_cast<int>(fault.kind)) << JsonTail({}, fault);
    return ReportFault(err, path, fault);
  };
  LayoutFile layout = ReadLayoutFile(layoutPath);
  if (auto fault = LayoutFault(layout)) return failed(layoutPath, *fault);
  // Checked and built as build does it, in memory.
  CheckSession session(AsBuild(request));
  CheckedLayout checked = session.Check(layoutPath, std::move(layout.text));
  if (checked.problem) return ReportPolicyProblem(*checked.problem, run, out, err);
  const LintReport& report = checked.report;
  if (report.status != 0) {
    if (json)
      out << JsonHead("verify", packagePath, report.status)
          << JsonTail(report.findings, std::nullopt);
    PrintFindings(err, report.findings);
    return report.status;
  }
  const std::string built = BuildInMemory(checked);
  MemorySource builtSource(built);
  const PackageContents contents =
      ReadPackageContents(builtSource, FileDigest::kFirst, Learn::kNothing);
  FileSource file(packagePath);
  if (!file.IsOpen()) return failed(packagePath, CannotOpen(file));
  const std::optional<std::string> sha256 = Sha256Hex(file);
  if (!sha256) {
    return failed(packagePath,
                  {Status::kIo, kNoOffset, "cannot read the file: " + file.ReadFailure()});
  }
  const auto difference = FirstDifference(built, contents, file);
  const int status = difference ? static_cast<int>(Status::kDigest) : 0;
  if (json) {
    out << JsonHead("verify", packagePath, status) << ",\"layout\":" << JsonString(layoutPath)
        << ",\"matches\":" << (difference ? "false" : "true")
        << ",\"sha256\":" << JsonString(*sha256)
        << ",\"builtSha256\":" << JsonString(contents.sha256) << ",\"firstDifference\":";
    if (difference) {
      out << "{\"offset\":" << difference->first << ",\"record\":" << JsonString(difference->second)
          << '}';
    } else {
      out << "null";
    }
    out << JsonTail(report.findings, std::nullopt);
  } else if (difference) {
    err << Shown(packagePath) << ": not the package " << Shown(layoutPath)
        << " builds: " << difference->second << " differs (its SHA-256 is " << *sha256
        << ", the build's " << contents.sha256 << ")\n";
  } else {
    PrintFindings(err, report.findings);
    out << Shown(packagePath) << ": the package " << Shown(layoutPath)
        << " builds, byte for byte\n  SHA-256: " << *sha256 << '\n';
  }
  out.flush();
  err.flush();
  return status;
}

int VerifyPackage(const std::string& path, const VerifyOptions& options, std::ostream& out,
                  std::ostream& err) {
  FileSource file(path);
  if (file.IsOpen()) return VerifyPackage(file, path, options, out, err);
  return ReportFault(err, path, CannotOpen(file));
}

}  // namespace vantu::branding_package
