#include "inspect/model/suppressions.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "base/ascii.h"
#include "base/nearest.h"
#include "inspect/model/checks.h"

namespace vantu::branding_package {

namespace {

constexpr std::string_view kDirective = "branding-lint:";

}  // namespace

std::vector<InlineSuppression> InlineSuppressions(const LayoutDocument& document,
                                                  const std::string& file,
                                                  std::vector<Finding>& problems) {
  const std::string& text = document.Text();
  const auto& elements = document.Elements();
  std::vector<std::string> known;
  for (const FindingKind& kind : FindingCatalogue()) known.emplace_back(kind.id);
  std::vector<InlineSuppression> suppressions;
  auto problem = [&](std::size_t at, const std::string& message) {
    problems.push_back(
        LayoutFinding(document, file, kNoOffset, at, FindingId::kSuppression, message));
  };
  for (const LayoutDocument::Span& span : document.Comments()) {
    const std::string_view comment =
        AsciiTrimmed(std::string_view(text).substr(span.begin + 4, span.end - span.begin - 7));
    const std::size_t at = span.begin;  // where a problem with it is reported
    if (comment.substr(0, kDirective.size()) != kDirective) continue;
    const std::string_view rest = AsciiTrimmed(comment.substr(kDirective.size()));
    if (rest.substr(0, 5) != "allow" || (rest.size() > 5 && rest[5] != ' ')) {
      problem(at, "expected 'branding-lint: allow ID[, ID]'");
      continue;
    }
    // Each id that cannot be allowed is reported; the others still apply.
    InlineSuppression suppression{at, span.end, {}, 0, 0};
    for (const std::string& id : CommaList(rest.substr(5))) {
      const FindingKind* kind = FindFindingKind(id);
      if (kind == nullptr) {
        problem(at, "the suppression names no finding " + id + DidYouMean(id, known));
      } else if (kind->severity == Severity::kError) {
        problem(at, "the suppression allows " + id + ", an error, which cannot be allowed");
      } else {
        suppression.ids.insert(id);
      }
    }
    if (suppression.ids.empty()) continue;
    // The element right after the comment, white space between.
    const std::size_t next = text.find_first_not_of(" \t\r\n", span.end);
    const std::size_t element = document.ElementAt(next);
    if (element == LayoutDocument::kNone) {
      problem(at, "the suppression stands before no element");
      continue;
    }
    suppression.begin = elements[element].offset;
    suppression.end = elements[element].end;
    suppressions.push_back(std::move(suppression));
  }
  return suppressions;
}

int ApplyInlineSuppressions(const LayoutDocument& document, const std::string& file,
                            std::vector<Finding>& findings, std::vector<Finding>& suppressed) {
  std::vector<Finding> problems;
  const std::vector<InlineSuppression> suppressions = InlineSuppressions(document, file, problems);
  int moved = 0;
  std::vector<Finding> kept;
  for (Finding& f : findings) {
    const bool allowed =
        f.file == file && std::any_of(suppressions.begin(), suppressions.end(),
                                      [&](const InlineSuppression& s) { return s.Allows(f); });
    if (allowed) {
      f.suppression = Finding::Suppression::kInSource;
      suppressed.push_back(std::move(f));
      ++moved;
    } else {
      kept.push_back(std::move(f));
    }
  }
  kept.insert(kept.end(), problems.begin(), problems.end());
  findings = std::move(kept);
  return moved;
}

}  // namespace vantu::branding_package
