#include <cctype>

#include "image/image_format.h"
#include "inspect/lsp/lsp_features.h"

namespace vantu::branding_package {

namespace {

// The protocol's severities.
constexpr int kLspError = 1;
constexpr int kLspWarning = 2;
constexpr int kLspInformation = 3;
constexpr int kLspHint = 4;
constexpr int kUnnecessary = 1;  // a diagnostic tag

int LspSeverity(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return kLspError;
    case Severity::kWarning:
      return kLspWarning;
    case Severity::kNote:
      break;
  }
  return kLspInformation;
}

// Where the token at offset ends: the name of an element whose start tag is there; else (a
// syntax error's place, which no parse marks) the word there; at least one byte on.
std::size_t TokenEnd(const LayoutDocument& document, std::size_t offset) {
  if (const std::size_t element = document.ElementAt(offset); element != LayoutDocument::kNone) {
    return offset + 1 + document.Elements()[element].name.size();
  }
  const std::string_view text = document.Text();
  std::size_t end = offset;
  while (end < text.size() && (text[end] == '<' || text[end] == '/' || text[end] == '!')) ++end;
  while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])) == 0 &&
         std::string_view("<>\"'=/").find(text[end]) == std::string_view::npos) {
    ++end;
  }
  return std::max(end, std::min(offset + 1, text.size()));
}

}  // namespace

Json RangeOf(const Analysis& analysis, std::size_t begin, std::size_t end) {
  const TextPosition start = analysis.positions->At(begin);
  const TextPosition stop = analysis.positions->At(end);
  return {{"start", {{"line", start.line}, {"character", start.character}}},
          {"end", {{"line", stop.line}, {"character", stop.character}}}};
}

Json Diagnostics(const Analysis& analysis) {
  const LayoutDocument& document = *analysis.document;
  Json list = Json::array();
  auto add = [&](std::size_t at, int severity, const std::string& message, const char* code,
                 std::size_t end = kNoPlace) {
    Json diagnostic = {
        {"range", RangeOf(analysis, at, end != kNoPlace ? end : TokenEnd(document, at))},
        {"severity", severity},
        {"source", "branding-lint"},
        {"message", message}};
    if (code != nullptr) diagnostic["code"] = code;
    list.push_back(std::move(diagnostic));
  };
  if (analysis.problem) add(0, kLspError, *analysis.problem, Kind(FindingId::kPolicyUnusable).id);
  for (const Finding& f : analysis.report.findings) {
    const int severity = LspSeverity(f.severity());
    if (f.file == analysis.path) {
      const std::size_t at =
          f.at != kNoPlace ? f.at : (f.line > 0 ? document.OffsetAt(f.line, f.column) : 0);
      if (f.kind->which == FindingId::kSuppressionUnused) {
        // Text that does nothing, as editors show it: faded.
        add(at, kLspHint, f.message, f.kind->id, f.atEnd);
        list.back()["tags"] = {kUnnecessary};
      } else {
        add(at, severity, f.message, f.kind->id, f.atEnd);
      }
      continue;
    }
    // An image's finding stands at each reference to it.
    const std::string name(ImageName(f.file));
    bool placed = false;
    for (const LayoutDocument::Reference& reference : document.References()) {
      if (reference.name != name) continue;
      add(reference.offset, severity, name + ": " + f.message, f.kind->id);
      placed = true;
    }
    if (!placed) add(0, severity, f.file + ": " + f.message, f.kind->id);
  }
  return list;
}

}  // namespace vantu::branding_package
