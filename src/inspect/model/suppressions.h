// Inline suppressions: "<!-- branding-lint: allow ID[, ID] -->" just before an element.
#pragma once

#include <string>
#include <vector>

#include "inspect/model/findings.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

// Moves each finding about file that an inline suppression allows (its id named, its place in
// the element after the comment or in what that element holds) from findings to suppressed,
// marked in source; adds a finding (suppression) for each comment that names an unknown id or
// an error, or stands before no element. Returns how many it moved.
int ApplyInlineSuppressions(const LayoutDocument& document, const std::string& file,
                            std::vector<Finding>& findings, std::vector<Finding>& suppressed);

}  // namespace vantu::branding_package
