// The layout stage: a layout document to the text the package stores and the image names it
// refers to, with the packager's errors, in the order the packager meets them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "layout/parse_layout.h"

namespace vantu::branding_package {

// The message of a layout too large for a record, naming its file.
std::string LayoutTooLargeMessage(const std::string& layoutPath);

// Applies the layout rules to the first top-level node (or null), appending every image
// reference to references; throws -506 at the first broken rule.
void ApplyLayoutRules(const LayoutNode* top, std::vector<std::string>& references);

// The parsed document as compact XML; none when the text would not fit a layout record.
std::optional<std::string> PrintCompact(const rapidxml::xml_document<char>& parsed);

}  // namespace vantu::branding_package
