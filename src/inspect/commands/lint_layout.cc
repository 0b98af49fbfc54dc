#include <algorithm>
#include <climits>
#include <optional>
#include <ostream>
#include <utility>

#include "base/shown.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/json.h"
#include "inspect/model/checks.h"
#include "inspect/model/schema_check.h"
#include "layout/layout_document.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"
#include "package/name_match.h"

namespace vantu::branding_package {

namespace {

// How many findings of each severity.
struct Counts {
  int errors = 0;
  int warnings = 0;
  int notes = 0;
};

Counts Count(const std::vector<Finding>& findings) {
  Counts counts;
  for (const Finding& f : findings) {
    switch (f.severity()) {
      case Severity::kError:
        ++counts.errors;
        break;
      case Severity::kWarning:
        ++counts.warnings;
        break;
      case Severity::kNote:
        ++counts.notes;
        break;
    }
  }
  return counts;
}

void PrintJson(std::ostream& out, const std::string& layoutPath,
               const std::vector<Finding>& findings, const std::vector<LintedImage>& images,
               int status) {
  out << JsonHead("lint", layoutPath, status) << ",\"images\":[";
  bool first = true;
  for (const LintedImage& image : images) {
    if (!image.decoded.ok) continue;
    out << (first ? "" : ",") << "{\"file\":" << JsonString(image.path)
        << ",\"name\":" << JsonString(image.name) << ",\"format\":\"" << FormatKey(image.format)
        << "\",\"width\":" << image.decoded.width << ",\"height\":" << image.decoded.height
        << ",\"size\":" << image.size << '}';
    first = false;
  }
  const Counts counts = Count(findings);
  out << "],\"errors\":" << counts.errors << ",\"warnings\":" << counts.warnings
      << ",\"notes\":" << counts.notes << JsonTail(findings, std::nullopt);
}

}  // namespace

void PrintLintReport(std::ostream& out, const std::string& layoutPath,
                     const std::vector<Finding>& findings, const std::vector<LintedImage>& images,
                     bool json, int status) {
  if (json) {
    PrintJson(out, layoutPath, findings, images, status);
    return;
  }
  PrintFindings(out, findings);
  for (const LintedImage& image : images) {
    if (!image.decoded.ok) continue;
    out << Shown(image.path) << ": " << FormatName(image.format) << ", " << image.decoded.width
        << "x" << image.decoded.height << " pixels, " << image.size << " bytes\n";
  }
  const Counts counts = Count(findings);
  out << Shown(layoutPath) << ": " << counts.errors
      << (counts.errors == 1 ? " error, " : " errors, ") << counts.warnings
      << (counts.warnings == 1 ? " warning" : " warnings");
  if (counts.notes > 0) out << ", " << counts.notes << (counts.notes == 1 ? " note" : " notes");
  out << '\n';
}

int LintLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
               const LintOptions& options, std::ostream& out, std::ostream& err) {
  std::string text;
  if (!ReadLayoutText(layoutPath, text, err)) return static_cast<int>(Status::kIo);

  std::vector<LintedImage> images;
  std::vector<Finding> findings =
      LintFindings(layoutPath, text, imagePaths, images, options.references);

  // --strict makes warnings count, without calling them errors.
  const int status = StatusOf(findings, options.strict);
  PrintLintReport(out, layoutPath, findings, images, options.json, status);
  out.flush();
  return status;
}

}  // namespace vantu::branding_package
