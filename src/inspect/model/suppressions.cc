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

namespace {

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// A suppression that allows nothing, with its fix: the comment removed, with its line when it
// stands alone on one.
Finding UnusedSuppression(const LayoutDocument& document, const std::string& file,
                          const InlineSuppression& idle) {
  Finding f = LayoutFinding(document, file, kNoOffset, idle.comment, FindingId::kSuppressionUnused,
                            "the suppression allows nothing: no finding it names is in the "
                            "element after it");
  f.atEnd = idle.commentEnd;
  const std::string_view text = document.Text();
  std::size_t begin = idle.comment;
  std::size_t end = idle.commentEnd;
  const std::size_t lineStart = text.find_last_of("\r\n", begin == 0 ? 0 : begin - 1);
  const std::size_t first = lineStart == std::string_view::npos || begin == 0 ? 0 : lineStart + 1;
  const bool startsLine = text.find_first_not_of(" \t", first) == begin;
  const std::size_t after = text.find_first_not_of(" \t", end);
  if (startsLine && after != std::string_view::npos && IsLineEnd(text[after])) {
    begin = first;
    end = after + (text.compare(after, 2, "\r\n") == 0 ? 2 : 1);
  }
  f.fixes.push_back({"Remove the suppression that allows nothing", {{begin, end, ""}}, {}});
  return f;
}

}  // namespace

int ApplyInlineSuppressions(const LayoutDocument& document, const std::string& file,
                            std::vector<Finding>& findings, std::vector<Finding>& suppressed) {
  std::vector<Finding> problems;
  const std::vector<InlineSuppression> suppressions = InlineSuppressions(document, file, problems);
  int moved = 0;
  std::vector<Finding> kept;
  std::vector<bool> used(suppressions.size(), false);
  for (Finding& f : findings) {
    bool allowed = false;
    for (std::size_t i = 0; f.file == file && i < suppressions.size(); ++i) {
      if (suppressions[i].Allows(f)) used[i] = allowed = true;
    }
    if (allowed) {
      f.suppression = Finding::Suppression::kInSource;
      suppressed.push_back(std::move(f));
      ++moved;
    } else {
      kept.push_back(std::move(f));
    }
  }
  kept.insert(kept.end(), problems.begin(), problems.end());
  for (std::size_t i = 0; i < suppressions.size(); ++i) {
    if (!used[i]) kept.push_back(UnusedSuppression(document, file, suppressions[i]));
  }
  findings = std::move(kept);
  return moved;
}

}  // namespace vantu::branding_package
