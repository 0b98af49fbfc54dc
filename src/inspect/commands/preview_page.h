// The preview page: one standalone HTML5 document drawing the branding as the client shows it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "inspect/model/checks.h"
#include "inspect/model/preview_model.h"

namespace vantu::branding_package {

// The facts beside the drawing.
struct PreviewFacts {
  std::string source;                // the package or layout the page was made from
  std::uint64_t packageSize;         // of the package, or of the one the layout would make
  std::string sha256;                // likewise
  bool built;                        // false: the layout's package, computed, not read
  std::vector<PreviewImage> images;  // in package order
  std::vector<Finding> findings;
};

// The page: CSS inline, images as data: URIs, no script, no event handler, nothing fetched;
// every text escaped; a url becomes a link only for http, https and mailto.
std::string RenderPreviewPage(const PreviewModel& model, const PreviewFacts& facts);

}  // namespace vantu::branding_package
