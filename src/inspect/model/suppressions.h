// Inline suppressions: "<!-- branding-lint: allow ID[, ID] -->" just before an element.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "inspect/model/findings.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

// One sound inline suppression: the comment, the ids it allows, and the element it covers.
struct InlineSuppression {
  std::size_t comment;     // its "<!--"
  std::size_t commentEnd;  // one past its "-->"
  std::set<std::string> ids;
  std::size_t begin;  // the element's start tag
  std::size_t end;    // one past its end tag
  // Whether it allows a finding about file at.
  bool Allows(const Finding& f) const {
    return f.at != kNoPlace && f.at >= begin && f.at < end && ids.count(f.kind->id) != 0;
  }
};

// The sound inline suppressions of document; a finding (suppression) about file in problems for
// each comment that names an unknown id or an error, or stands before no element.
std::vector<InlineSuppression> InlineSuppressions(const LayoutDocument& document,
                                                  const std::string& file,
                                                  std::vector<Finding>& problems);

// Moves each finding about file that an inline suppression allows (its id named, its place in
// the element after the comment or in what that element holds) from findings to suppressed,
// marked in source; adds a finding (suppression) for each comment that names an unknown id or
// an error, or stands before no element. Returns how many it moved.
int ApplyInlineSuppressions(const LayoutDocument& document, const std::string& file,
                            std::vector<Finding>& findings, std::vector<Finding>& suppressed);

}  // namespace vantu::branding_package
