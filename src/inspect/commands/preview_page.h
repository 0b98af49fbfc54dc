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
  std::string source;              // the package or layout the page was made from
  std::uint64_t packageSize;       // of the package, or of the one the layout would make
  std::string sha256;              // likewise
  bool built;                      // false: the layout's package, computed, not read
  std::vector<ImageFacts> images;  // in package order
  std::string_view package;        // the package's bytes, each image's data at its offset
  std::vector<Finding> findings;
};

// Where a live page carries its version, which the server writes in place of the 0: the page's
// stream starts from it, so a save before the stream connects is still told.
constexpr char kVersionMark[] = "data-version=\"0\"";

// Which page: a file of its own, or one a local server keeps up to date.
enum class PageKind {
  kStandalone,  // runs no script, fetches nothing
  kLive         // its one script, allowed by its hash, fetches the page again on each event
};

// The page: CSS inline, images as data: URIs, no event handler; every text escaped; a url
// becomes a link only for http, https and mailto. Standalone, it runs no script and fetches
// nothing.
std::string RenderPreviewPage(const PreviewModel& model, const PreviewFacts& facts,
                              PageKind kind = PageKind::kStandalone);

// A live page that shows report (why the layout cannot be previewed) on top of page, the last
// one that could be made; a page of the report alone when there was none.
std::string LiveProblems(const std::string& page, const std::string& report);

}  // namespace vantu::branding_package
