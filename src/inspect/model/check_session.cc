#include "inspect/model/check_session.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "inspect/model/found_images.h"
#include "package/file_writer.h"
#include "package/write_package.h"

namespace vantu::branding_package {

std::vector<std::string> CheckedLayout::Dependencies() const {
  std::vector<std::string> files = {path};
  if (policy.configPath) files.push_back(ConfigPrerequisite(*policy.configPath));
  for (const LintedImage& image : report.images) files.push_back(image.path);
  return files;
}

ResolvedLayout CheckSession::Resolve(const std::string& path,
                                     const LayoutDocument& document) const {
  ResolvedLayout resolved;
  auto chosen = ChoosePolicy(path, request_.commandLine, request_.config);
  if (auto* problem = std::get_if<std::string>(&chosen)) {
    resolved.problem = std::move(*problem);
    return resolved;
  }
  resolved.policy = std::get<ChosenPolicy>(std::move(chosen));
  resolved.folders = ImageFolders(path, request_.dirs, resolved.policy.dirs);
  resolved.found = FindImages(document, resolved.folders, &resolved.missing);
  return resolved;
}

CheckedLayout CheckSession::Check(const std::string& path, std::string text,
                                  const std::vector<std::string>& images) {
  CheckedLayout checked;
  checked.version = ++version_;
  checked.path = path;
  checked.document = std::make_unique<LayoutDocument>(std::move(text));
  ResolvedLayout resolved = Resolve(path, *checked.document);
  if (resolved.problem) {
    // Nothing is judged without the policy the project set: every surface shows the problem
    // alone, never findings of another policy.
    checked.problem = std::move(resolved.problem);
    checked.report.layoutPath = path;
    checked.report.status = static_cast<int>(Status::kUsage);
    return checked;
  }
  checked.policy = std::move(resolved.policy);
  std::vector<std::string> paths = images;
  if (images.empty()) {
    checked.folders = std::move(resolved.folders);
    paths = std::move(resolved.found);
  }
  const Policy& policy = checked.policy.policy;
  checked.report =
      MakeLintReport(path, *checked.document, paths, References::kAlways, request_.learn, policy,
                     request_.schemaAlways || SchemaCouldStop(policy),
                     request_.records && !request_.live ? nullptr : &cache_);
  return checked;
}

std::string BuildInMemory(CheckedLayout& checked) {
  cBP_FILE_WRITER writer("");
  writer.AddLayout(*checked.document, checked.path);
  // Lint read each image into the record the packager stores; the writer takes it.
  for (LintedImage& image : checked.report.images) {
    writer.AddImageRecord(std::move(image.record), image.path);
  }
  return EncodePackage(writer.components);
}

LintReport MakeLintReport(const std::string& layoutPath, const LayoutDocument& document,
                          const std::vector<std::string>& imagePaths, References references,
                          Learn learn, const Policy& policy, bool schema, ImageCache* cache) {
  LintReport report{layoutPath, {}, {}, {}, 0, 0, policy.denied, std::nullopt};
  std::vector<Finding> findings =
      LintFindings(layoutPath, document, imagePaths, report.images, references, learn,
                   &report.suppressed, schema, cache);
  report.allowed = static_cast<int>(report.suppressed.size());
  report.findings = ApplyPolicy(std::move(findings), policy, report.allowed, &report.suppressed);
  // --strict makes warnings count, without calling them errors.
  report.status = StatusOf(report.findings, policy.strict);
  return report;
}

bool SchemaCouldStop(const Policy& policy) {
  return policy.strict ||
         std::any_of(policy.denied.begin(), policy.denied.end(), [](const auto& id) {
           const FindingKind* kind = FindFindingKind(id);
           return kind != nullptr && kind->fromSchema;
         });
}

}  // namespace vantu::branding_package
