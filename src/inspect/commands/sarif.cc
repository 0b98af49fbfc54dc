#include <cstdio>
#include <string>

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
  // The faults come last: a result's rule index is its kind's place in the catalogue.
  for (const FindingKind& kind : FindingCatalogue()) {
    if (IsFault(kind)) break;
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

std::string Result(const Finding& f) {
  const auto index = f.kind - FindingCatalogue().data();
  std::string location = "{\"artifactLocation\":{\"uri\":" + JsonString(PathUri(f.file)) + "}";
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

std::string PathUri(std::string_view path) {
  std::string uri = path.substr(0, 1) == "/" ? "file://" : "";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/';
    if (plain) {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      uri += escaped;
    }
  }
  return uri;
}

std::string SarifLog(const std::vector<Finding>& findings, int status,
                     std::string_view notification) {
  std::string results = "[";
  for (const Finding& f : findings) results += (results.size() > 1 ? "," : "") + Result(f);
  results += "]";
  std::string invocation =
      "{\"executionSuccessful\":" + std::string(notification.empty() ? "true" : "false") +
      ",\"exitCode\":" + std::to_string(status);
  if (!notification.empty()) {
    std::string text(notification);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    invocation +=
        ",\"toolExecutionNotifications\":[{\"level\":\"error\",\"message\":" + Text(text) + "}]";
  }
  invocation += "}";
  return "{\"$schema\":\"https://json.schemastore.org/sarif-2.1.0.json\",\"version\":\"2.1.0\","
         "\"runs\":[{\"tool\":{\"driver\":{\"name\":\"branding-package-inspect\",\"version\":\"" +
         std::string(kVersion) + "\",\"rules\":" + Rules() + "}},\"invocations\":[" + invocation +
         "],\"columnKind\":\"unicodeCodePoints\",\"results\":" + results + "}]}\n";
}

}  // namespace vantu::branding_package
