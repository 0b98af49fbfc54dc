#include <algorithm>
#include <ostream>
#include <vector>

#include "base/ascii.h"
#include "base/shown.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/json.h"
#include "inspect/model/checks.h"
#include "inspect/model/package_contents.h"

namespace vantu::branding_package {

namespace {

void PrintJson(std::ostream& out, const std::string& path, const PackageContents& contents,
               const std::vector<Finding>& findings, int allowed, int status) {
  out << JsonHead("verify", path, status) << ",\"sound\":" << (status == 0 ? "true" : "false")
      << ",\"size\":" << contents.fileSize << ",\"images\":[";
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
      ReadPackageContents(source, options.sha256 ? FileDigest::kFirst : FileDigest::kSkip);
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
      << contents.images.size() << (contents.images.size() == 1 ? " image" : " images") << '\n';
  for (const ImageFacts& image : contents.images) {
    out << "  " << Shown(image.name) << ": " << FormatName(image.format) << ", "
        << PixelsText(image) << ", " << image.size << " bytes\n";
  }
  out.flush();
  return 0;
}

int VerifyPackage(const std::string& path, const VerifyOptions& options, std::ostream& out,
                  std::ostream& err) {
  FileSource file(path);
  if (file.IsOpen()) return VerifyPackage(file, path, options, out, err);
  return ReportFault(err, path, CannotOpen(file));
}

}  // namespace vantu::branding_package
