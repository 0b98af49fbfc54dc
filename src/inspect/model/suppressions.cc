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

// Where the element at index and what it holds end.
std::size_t EndOf(const LayoutDocument& document, std::size_t index) {
  const auto& elements = document.Elements();
  for (std::size_t at = index; at != LayoutDocument::kNone; at = elements[at].parent) {
    if (elements[at].next != LayoutDocument::kNone) return elements[elements[at].next].offset;
  }
  return document.Text().size();
}

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
  for (std::size_t open = text.find("<!"); open != std::string::npos;
       open = text.find("<!", open + 2)) {
    // A CDATA section holds text, never a comment.
    if (text.compare(open, 9, "<![CDATA[") == 0) {
      open = text.find("]]>", open);
      if (open == std::string::npos) break;
      continue;
    }
    if (text.compare(open, 4, "<!--") != 0) continue;
    const std::size_t close = text.find("-->", open + 4);
    if (close == std::string::npos) break;
    const std::string_view comment =
        AsciiTrimmed(std::string_view(text).substr(open + 4, close - open - 4));
    const std::size_t at = open;  // where a problem with it is reported
    open = close;
    if (comment.substr(0, kDirective.size()) != kDirective) continue;
    const std::string_view rest = AsciiTrimmed(comment.substr(kDirective.size()));
    if (rest.substr(0, 5) != "allow" || (rest.size() > 5 && rest[5] != ' ')) {
      problem(at, "expected 'branding-lint: allow ID[, ID]'");
      continue;
    }
    // Each id that cannot be allowed is reported; the others still apply.
    InlineSuppression suppression{at, close + 3, {}, 0, 0};
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
    const std::size_t next = text.find_first_not_of(" \t\r\n", close + 3);
    const auto element = std::lower_bound(
        elements.begin(), elements.end(), next,
        [](const LayoutDocument::Element& e, std::size_t offset) { return e.offset < offset; });
    if (element == elements.end() || element->offset != next) {
      problem(at, "the suppression stands before no element");
      continue;
    }
    const auto index = static_cast<std::size_t>(element - elements.begin());
    suppression.begin = element->offset;
    suppression.end = EndOf(document, index);
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
