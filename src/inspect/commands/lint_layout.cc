#include <algorithm>
#include <climits>
#include <optional>
#include <ostream>
#include <string_view>
#include <tuple>
#include <utility>

#include "base/line_index.h"
#include "base/shown.h"
#include "base/utf8.h"
#include "image/image_format.h"
#include "inspect/commands/ci_formats.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/json.h"
#include "inspect/model/checks.h"
#include "inspect/model/found_images.h"
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

void PrintJson(std::ostream& out, const LintReport& report) {
  out << JsonHead("lint", report.layoutPath, report.status) << ",\"images\":[";
  bool first = true;
  for (const LintedImage& image : report.images) {
    if (!image.facts.decoded.ok) continue;
    out << (first ? "" : ",") << "{\"file\":" << JsonString(image.path) << ','
        << JsonImageFields(image.facts) << ",\"size\":" << image.facts.size << '}';
    first = false;
  }
  const Counts counts = Count(report.findings);
  out << "],\"errors\":" << counts.errors << ",\"warnings\":" << counts.warnings
      << ",\"notes\":" << counts.notes << ",\"allowed\":" << report.allowed
      << JsonTail(report.findings, std::nullopt);
}

void PrintText(std::ostream& out, const LintReport& report) {
  PrintFindings(out, report.findings);
  for (const LintedImage& image : report.images) {
    if (!image.facts.decoded.ok) continue;
    out << Shown(image.path) << ": " << FormatName(image.facts.format) << ", "
        << PixelsText(image.facts) << ", " << image.facts.size << " bytes\n";
  }
  const Counts counts = Count(report.findings);
  out << Shown(report.layoutPath) << ": " << counts.errors
      << (counts.errors == 1 ? " error, " : " errors, ") << counts.warnings
      << (counts.warnings == 1 ? " warning" : " warnings");
  if (counts.notes > 0) out << ", " << counts.notes << (counts.notes == 1 ? " note" : " notes");
  if (report.allowed > 0) out << ", " << report.allowed << " allowed";
  out << '\n';
}

// findings with the columns of the layout's own findings counted in characters, not bytes:
// one walk along each line however many findings it holds.
std::vector<Finding> InCharacters(std::vector<Finding> findings, const std::string& layoutPath,
                                  std::string_view layoutText) {
  const LineIndex lines(layoutText);
  std::vector<Finding*> placed;
  for (Finding& f : findings) {
    if (f.file == layoutPath && f.line > 0 && f.column > 1) placed.push_back(&f);
  }
  std::sort(placed.begin(), placed.end(), [](const Finding* a, const Finding* b) {
    return std::tie(a->line, a->column) < std::tie(b->line, b->column);
  });
  int line = 0;
  std::string_view text;
  std::size_t at = 0;  // the byte the walk stands on in text
  int column = 1;      // the character it starts
  for (Finding* f : placed) {
    if (f->line != line) {
      line = f->line;
      text = lines.Line(line);
      at = 0;
      column = 1;
    }
    const auto end = std::min(text.size(), static_cast<std::size_t>(f->column - 1));
    for (; at < end; ++column) at += std::max<std::size_t>(1, Utf8SequenceLength(text, at));
    f->column = column;
  }
  return findings;
}

}  // namespace

void PrintLintReport(std::ostream& out, const LintReport& report, LintFormat format,
                     std::string_view layoutText) {
  switch (format) {
    case LintFormat::kText:
      PrintText(out, report);
      return;
    case LintFormat::kJson:
      PrintJson(out, report);
      return;
    case LintFormat::kSarif: {
      // A SARIF log keeps what was left out, marked as suppressed.
      std::vector<Finding> all = report.findings;
      all.insert(all.end(), report.suppressed.begin(), report.suppressed.end());
      out << SarifLog(InCharacters(std::move(all), report.layoutPath, layoutText),
                      {report.status, report.denied, report.sarifRoot, std::nullopt});
      return;
    }
    case LintFormat::kGithub:
      out << GithubAnnotations(InCharacters(report.findings, report.layoutPath, layoutText));
      return;
  }
}

int ReportPolicyProblem(const std::string& problem, const FormatRun& run, std::ostream& out,
                        std::ostream& err) {
  const Status status = Kind(FindingId::kPolicyUnusable).status;
  const Fault fault{status, kNoOffset, problem};
  switch (run.format) {
    case LintFormat::kText:
      break;
    case LintFormat::kJson:
      out << JsonHead(run.command, run.input, static_cast<int>(status)) << JsonTail({}, fault);
      break;
    case LintFormat::kSarif:
      out << SarifLog({}, {static_cast<int>(status), run.denied, run.sarifRoot,
                           std::make_pair(run.input, fault), FindingId::kPolicyUnusable});
      break;
    case LintFormat::kGithub: {
      const Finding finding(&Kind(FindingId::kPolicyUnusable), run.input, 0, 0, kNoOffset, problem);
      out << GithubAnnotations({finding});
      break;
    }
  }
  if (run.format == LintFormat::kText || &out != &err) err << "Error: " << problem << std::endl;
  out.flush();
  return static_cast<int>(status);
}

int LintLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
               const LintOptions& options, std::ostream& out, std::ostream& err) {
  LayoutFile file = ReadLayoutFile(layoutPath);
  if (auto fault = LayoutFault(file)) return ReportFault(err, layoutPath, *fault);
  return LintLayout(layoutPath, std::move(file.text), imagePaths, options, out, err);
}

int LintLayout(const std::string& layoutPath, std::string text,
               const std::vector<std::string>& imagePaths, const LintOptions& options,
               std::ostream& out, std::ostream& err) {
  CheckSession session(options.request);
  CheckedLayout checked = session.Check(layoutPath, std::move(text), imagePaths);
  if (checked.problem) {
    return ReportPolicyProblem(
        *checked.problem,
        {"lint", layoutPath, options.format, options.request.commandLine.denied, options.sarifRoot},
        out, err);
  }
  checked.report.sarifRoot = options.sarifRoot;
  PrintLintReport(out, checked.report, options.format, checked.document->Text());
  out.flush();
  return checked.report.status;
}

}  // namespace vantu::branding_package
