// The content rules a layout document must satisfy, with the node each finding is about.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "layout/layout_model.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

// The element's text as the client reads it: its first text run (CDATA does not count), the
// pieces a comment or processing instruction splits it into joined.
std::string ElementText(const LayoutNode& element);

// Receives an image reference (the text of app-icon or a logo) and its element.
using ReferenceSink = std::function<void(const LayoutNode& element, std::string_view name)>;

// Receives a broken rule: the node it is about (null when there is no node at all) and the
// message; returns whether to look for further findings.
using ViolationSink = std::function<bool(const LayoutNode* node, const std::string& message)>;

// Applies the rules to the first top-level node (or null) in their fixed order. References
// are reported in document order as the rules meet them.
void CheckLayoutRules(const LayoutNode* top, const ReferenceSink& reference,
                      const ViolationSink& violation);

// The model of the parsed document whose first top-level node is top (or null); buffer holds
// the text the parse ran in, for offsets.
Layout ModelOf(const LayoutNode* top, const char* buffer);

}  // namespace vantu::branding_package
