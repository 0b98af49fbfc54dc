#include <cstdio>
#include <filesystem>
#include <string>

#include "base/shown.h"
#include "base/version.h"
#include "inspect/commands/ci_formats.h"
#include "inspect/commands/json.h"

namespace vantu::branding_package {

namespace {

// The SARIF level of a severity: the same three words.
std::string Level(Severity severity) { return std::string("\"") + SeverityName(severity) + "\""; }

std::string Text(std::string_view text) { return "{\"text\":" + JsonString(text) + "}"; }

std::string Rules() {
  std::string rules = "[";
  // A result's rule index is its kind's place in the catalogue; the faults, last, are the
  // rules of a run that failed.
  for (const FindingKind& kind : FindingCatalogue()) {
    rules += rules.size() > 1 ? ",{" : "{";
    rules += "\"id\":" + JsonString(kind.id) + ",\"shortDescription\":" + Text(kind.title) +
             ",\"fullDescription\":" + Text(kind.explanation) + ",\"help\":" +
             Text(std::string(kind.id) + ": " + kind.title + ". " + kind.explanation +
                  " Explained by 'branding-package-inspect lint --explain " + kind.id + "'.") +
             ",\"defaultConfiguration\":{\"level\":" + Level(kind.severity) +
             "},\"properties\":{\"exitStatus\":" + std::to_string(static_cast<int>(kind.status)) +
             "}}";
  }
  return rules + "]";
}

// Where file is: a URI, or with a root, one relative to it (SRCROOT).
std::string ArtifactLocation(const std::string& file, const std::optional<std::string>& root) {
  if (!root) return "{\"uri\":" + JsonString(PathUri(file)) + "}";
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path relative =
      fs::weakly_canonical(fs::absolute(file), error)
          .lexically_relative(fs::weakly_canonical(fs::absolute(*root), error));
  return "{\"uri\":" + JsonString(PathUri(relative.string())) + ",\"uriBaseId\":\"SRCROOT\"}";
}

// Where the tool is documented once installed.
constexpr char kInformationUri[] = "file:///usr/share/doc/branding-package/README.md.gz";

std::string Result(const Finding& f, const std::optional<std::string>& root) {
  const auto index = f.kind - FindingCatalogue().data();
  std::string location = "{\"artifactLocation\":" + ArtifactLocation(f.file, root);
  if (f.line > 0) {
    location += ",\"region\":{\"startLine\":" + std::to_string(f.line) +
                ",\"startColumn\":" + std::to_string(f.column > 0 ? f.column : 1) + "}";
  }
  location += "}";
  if (!f.element.empty()) {
    location += ",\"logicalLocations\":[{\"fullyQualifiedName\":" + JsonString(f.element) +
                ",\"kind\":\"element\"}]";
  }
  std::string suppressions;
  if (f.suppression != Finding::Suppression::kNone) {
    suppressions = std::string(",\"suppressions\":[{\"kind\":\"") +
                   (f.suppression == Finding::Suppression::kInSource ? "inSource" : "external") +
                   "\"}]";
  }
  return "{\"ruleId\":" + JsonString(f.kind->id) + ",\"ruleIndex\":" + std::to_string(index) +
         ",\"level\":" + Level(f.severity()) + ",\"message\":" + Text(f.message) +
         ",\"locations\":[{\"physicalLocation\":" + location + "}]" + suppressions + "}";
}

}  // namespace

std::string SarifLog(const std::vector<Finding>& findings, const SarifRun& run) {
  std::string results = "[";
  for (const Finding& f : findings)
    results += (results.size() > 1 ? "," : "") + Result(f, run.root);
  std::string invocation =
      "{\"executionSuccessful\":" + std::string(run.failure ? "false" : "true") +
      ",\"exitCode\":" + std::to_string(run.status);
  if (run.failure) {
    // Converters show results, not notifications: the failure is both.
    const auto& [input, fault] = *run.failure;
    // A policy's problem names its own file.
    Finding failed(&Kind(run.failedRule), input, 0, 0, kNoOffset,
                   run.failedRule == FindingId::kPolicyUnusable
                       ? fault.message
                       : Shown(input) + ": " + fault.message);
    results += (results.size() > 1 ? "," : "") + Result(failed, run.root);
    invocation += ",\"toolExecutionNotifications\":[{\"level\":\"error\",\"message\":" +
                  Text(failed.message) + "}]";
  }
  if (!run.denied.empty()) {
    // Where consumers look for the level of a rule --deny raised.
    std::string overrides;
    for (const std::string& id : run.denied) {
      const FindingKind* kind = FindFindingKind(id);
      if (kind == nullptr) continue;
      overrides += std::string(overrides.empty() ? "" : ",") +
                   "{\"descriptor\":{\"id\":" + JsonString(id) +
                   ",\"index\":" + std::to_string(kind - FindingCatalogue().data()) +
                   "},\"configuration\":{\"level\":\"error\"}}";
    }
    invocation += ",\"ruleConfigurationOverrides\":[" + overrides + "]";
  }
  invocation += "}";
  results += "]";
  std::string bases;
  if (run.root) {
    std::error_code error;
    std::string uri = PathUri(
        std::filesystem::weakly_canonical(std::filesystem::absolute(*run.root), error).string());
    if (uri.empty() || uri.back() != '/') uri += '/';
    bases = ",\"originalUriBaseIds\":{\"SRCROOT\":{\"uri\":" + JsonString(uri) + "}}";
  }
  return "{\"$schema\":\"https://json.schemastore.org/sarif-2.1.0.json\",\"version\":\"2.1.0\","
         "\"runs\":[{\"tool\":{\"driver\":{\"name\":\"branding-package-inspect\",\"version\":\"" +
         std::string(kVersion) + "\",\"informationUri\":\"" + kInformationUri +
         "\",\"rules\":" + Rules() + "}},\"invocations\":[" + invocation + "]" + bases +
         ",\"columnKind\":\"unicodeCodePoints\",\"results\":" + results + "}]}\n";
}

}  // namespace vantu::branding_package
