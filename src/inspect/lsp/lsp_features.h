// What the language server answers, each a view of an open layout's analysis, in the
// protocol's JSON.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "inspect/lsp/lsp_analysis.h"

namespace vantu::branding_package {

using Json = nlohmann::json;

// The command a quick fix carries to select what it left for the user to write: the client
// selects the range it names, or asks the server, which shows the document with the range
// selected. Its arguments: the document's URI and the range.
constexpr std::string_view kSelectCommand = "branding-package.select";

// The range from byte begin to byte end of the analysed text.
Json RangeOf(const Analysis& analysis, std::size_t begin, std::size_t end);

// Every finding lint reports, as diagnostics: a layout's at its place, an image's at each
// reference to it; and a hint at each suppression that allows nothing.
Json Diagnostics(const Analysis& analysis);

// What may be written at offset: element and attribute names the schema allows there, the
// values of align, image file names from the image folders in app-icon and logo.
Json Completion(const Analysis& analysis, std::size_t offset);

// An image reference's format, pixel size, bytes and how the client shows it; else the
// explanations of the findings about the element at offset; null when there is neither.
Json Hover(const Analysis& analysis, std::size_t offset);

// The image file a reference at offset names, or null.
Json Definition(const Analysis& analysis, std::size_t offset);

// The outline: name, icon, menu and its items, the About box and its lines.
Json DocumentSymbols(const Analysis& analysis);

// The certain fixes whose place meets begin..end: a missing quit-item added, a hyperlink's
// misspelt scheme corrected, a suppression that allows nothing removed.
Json CodeActions(const Analysis& analysis, const std::string& uri, std::size_t begin,
                 std::size_t end, const Json& diagnostics);

}  // namespace vantu::branding_package
