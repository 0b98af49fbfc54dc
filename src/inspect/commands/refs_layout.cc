#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_id.h"
#include "base/folder_of.h"
#include "base/shown.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/make_rule.h"
#include "inspect/model/checks.h"
#include "inspect/model/found_images.h"
#include "inspect/model/lint_config.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

int ListReferences(const std::string& layoutPath, const RefsOptions& options, std::ostream& stdOut,
                   std::ostream& err) {
  LayoutFile file = ReadLayoutFile(layoutPath);
  if (auto fault = LayoutFault(file)) return ReportFault(err, layoutPath, *fault);
  const LayoutDocument document(std::move(file.text));
  // Reported as lint reports them, from the one catalogue.
  std::vector<Finding> findings;
  auto report = [&](std::size_t at, FindingId id, std::string message) {
    findings.push_back(LayoutFinding(document, layoutPath, kNoOffset, at, id, std::move(message)));
  };
  if (const auto& error = document.SyntaxError()) {
    report(error->offset, FindingId::kLayoutSyntax, error->what());
    PrintFindings(err, findings);
    return static_cast<int>(Status::kLayout);
  }
  // Every name once, in the order the layout first names it; with folders, where the first
  // that holds it has it, else in the first.
  std::map<std::string, std::string, std::less<>> found;
  for (const std::string& image : FindImages(document, options.dirs)) {
    found.emplace(ImageName(image), image);
  }
  std::set<std::string> seen;
  std::vector<std::string> paths;
  for (const LayoutDocument::Reference& reference : document.References()) {
    if (!seen.insert(reference.name).second) continue;
    const auto where = found.find(reference.name);
    paths.push_back(where != found.end()   ? where->second
                    : options.dirs.empty() ? reference.name
                                           : InFolder(options.dirs.front(), reference.name));
  }
  for (const LayoutDocument::Violation& violation : document.Violations()) {
    report(violation.offset, FindingId::kLayoutRule, violation.message);
  }
  // A reference with a folder never builds: the packager matches file names alone.
  CheckReferencePaths(layoutPath, document, kNoOffset, findings);
  PrintFindings(err, findings);
  const int status = findings.empty() ? 0 : static_cast<int>(findings.front().kind->status);
  std::ostringstream written;
  std::ostream& out = options.output ? written : stdOut;
  if (options.depfile) {
    // Build's rule, from the session build checks through: the images where build finds
    // them, and the policy file it reads.
    CheckRequest request;
    request.config = options.config;
    request.dirs = options.dirs;
    const ResolvedLayout resolved = CheckSession(request).Resolve(layoutPath, document);
    if (resolved.problem)
      return ReportPolicyProblem(
          *resolved.problem, {"refs", layoutPath, LintFormat::kText, {}, std::nullopt}, err, err);
    std::vector<std::string> files = {layoutPath};
    if (resolved.policy.configPath)
      files.push_back(ConfigPrerequisite(*resolved.policy.configPath));
    files.insert(files.end(), resolved.found.begin(), resolved.found.end());
    // One not found yet is named where build would look first: it rebuilds once it is there.
    for (const std::string& name : resolved.missing) {
      files.push_back(InFolder(resolved.folders.front(), name));
    }
    if (!PrintDepfileRule(*options.depfile, files, out, err)) {
      return static_cast<int>(Status::kRefused);
    }
  } else {
    // One a line, or, for names that may hold any byte, each ended by a zero byte as it is.
    for (const std::string& path : paths) {
      if (options.null) {
        out << path << '\0';
      } else {
        out << Shown(path) << '\n';
      }
    }
  }
  if (options.output) {
    // A file is written only for a layout the packager takes, and never over the layout.
    if (status != 0) return status;
    std::vector<FileId> inputs;
    if (auto id = IdOfFile(layoutPath)) inputs.push_back(*id);
    return WriteWhole(written.str(), *options.output, inputs, "the references", err);
  }
  out.flush();
  return status;
}

}  // namespace vantu::branding_package
