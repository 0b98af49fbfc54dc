// The layout stage: a layout document to the text the package stores and the image names it
// refers to, with the packager's errors, in the order the packager meets them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

namespace vantu::branding_package {

// The message of a layout too large for a record, naming its file.
std::string LayoutTooLargeMessage(const std::string& layoutPath);

// The whole layout file. Throws -502 when it cannot be opened or read whole, or is too large
// for a layout record.
std::string ReadLayoutDocument(const std::string& layoutPath);

// Parses document in place into parsed; throws -503 with the parser's message when it is not
// well-formed.
void ParseLayoutDocument(std::string& document, rapidxml::xml_document<char>& parsed);

// Applies the layout rules to the first top-level node (or null), appending every image
// reference to references; throws -506 at the first broken rule.
void ApplyLayoutRules(const rapidxml::xml_node<char>* top, std::vector<std::string>& references);

// The parsed document as compact XML; none when the text would not fit a layout record.
std::optional<std::string> PrintCompact(const rapidxml::xml_document<char>& parsed);

// The same; throws -502 naming layoutPath when the text would not fit a layout record.
std::string PrintLayoutText(const rapidxml::xml_document<char>& parsed,
                            const std::string& layoutPath);

}  // namespace vantu::branding_package
