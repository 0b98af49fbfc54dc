// What lint finds, and the checks lint adds to the packager's own.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/line_index.h"
#include "inspect/model/findings.h"
#include "inspect/model/image_cache.h"
#include "inspect/model/image_facts.h"
#include "inspect/model/package_contents.h"
#include "layout/layout_document.h"
#include "package/package_walker.h"
#include "package/records.h"

namespace vantu::branding_package {

// When lint compares the layout's references with the images.
enum class References {
  kWhenImagesGiven,  // a layout alone is checked without them
  kAlways            // no images means every reference is missing (what the packager says)
};

// An image given to lint, as far as it could be read.
struct LintedImage {
  std::string path;
  ImageFacts facts;          // its name always; the rest when read
  Record record;             // the record the packager would store; null when not read
  std::optional<FileId> id;  // the file read, when it was opened
  bool read = false;         // whether it was read whole (the record may be left out)
  // The image's bytes, inside the record.
  std::string_view Content() const {
    return {reinterpret_cast<const char*>(record->data.get()) + record->size - facts.size,
            static_cast<std::size_t>(facts.size)};
  }
};

// A finding about the layout text of document at byte at, in named file: its line and column,
// the path of its element, and, with textOffset (where the text starts in a package), its
// byte offset there, each derived from at alone.
Finding LayoutFinding(const LayoutDocument& document, const std::string& file,
                      std::uint64_t textOffset, std::size_t at, FindingId id, std::string message);

// Checks of a layout the packager accepts that a client would still trip over: text that
// is not UTF-8 or declared in another encoding, empty names, menu items and title, and
// hyperlinks the client would not open. textOffset is where the text starts in a package
// (kNoOffset for a file of its own).
void CheckLayoutText(const std::string& file, const LayoutDocument& document,
                     std::uint64_t textOffset, std::vector<Finding>& findings);

// How the preview draws the title bar and the About box: the app icon at this height, a
// logo at most this wide.
constexpr std::uint32_t kIconShownHeight = 32;
constexpr std::uint32_t kLogoShownWidth = 606;

// The pixel size the client draws an image of width x height at, keeping its shape: an app
// icon kIconShownHeight high (one no higher at its own size), a logo at most kLogoShownWidth
// wide.
std::pair<std::uint64_t, std::uint64_t> ShownSize(std::uint64_t width, std::uint64_t height,
                                                  bool appIcon);
// An app icon larger than this either way is shown much smaller than it is.
constexpr std::uint32_t kIconLargest = 256;
// A logo scaled down more than this many times is shown much smaller than it is.
constexpr std::uint32_t kLogoMostScaled = 4;

// Every finding about a layout document, named file in the findings: the packager's parse
// and rules, the checks above, the schema, and, with images, its references against them
// and notes of images shown much smaller than they are. With textOffset (a package's), each
// finding also gets its byte offset there. Every finding with a position names its element.
// Without schema the schema check (whose findings are warnings and notes) is left out.
void CheckLayout(const std::string& file, const LayoutDocument& document,
                 const std::vector<const ImageFacts*>* images, std::uint64_t textOffset,
                 std::vector<Finding>& findings, bool schema = true);

// Why the client would not open url as a link, for a person ("its scheme \"htps\" is not
// http, https or mailto"); nothing for http or https with a well-formed host (and port), or
// mailto with an address.
std::optional<std::string> LinkProblem(std::string_view url);

// Whether an image reference names a folder too ("icons/app.png"), which no image's name, the
// part of its path after the last '/' or '\\', can match.
inline bool ReferenceHoldsFolder(std::string_view name) {
  return name.find_first_of("/\\") != std::string_view::npos;
}

// Reports each image reference that holds a folder (reference-path).
void CheckReferencePaths(const std::string& file, const LayoutDocument& document,
                         std::uint64_t textOffset, std::vector<Finding>& findings);

// Whether url is a link the client opens: LinkProblem finds nothing.
bool IsClientLink(std::string_view url);

// The checks every image gets the same way in every command: that it decodes, that its
// extension names its format, that extract would take its name and the name holds no
// control bytes, and that no other image checked before has its name and other content.
class ImageChecks {
 public:
  // Adds the findings about image, in file (an image file, or a package when the image has a
  // record offset): of its name, and, when it was read, of its format and of what was learnt.
  void Check(const ImageFacts& image, const std::string& file, bool read, Learn learnt,
             std::vector<Finding>& findings);

 private:
  std::map<std::string, std::pair<std::string, std::string>> byName_;  // sha256, where
};

// Reads, decodes and names every image; reports images that cannot be read (status 2), are
// not PNG or JPEG or do not decode (4), whose name's extension says another format, and
// whose names extract would refuse, hold control bytes, or are taken by other content. With a
// cache, a file as it was when last read is not read again (and gets its record only from a
// cache that keeps records), and what is read is kept there, unless changed within a tick.
std::vector<LintedImage> CheckImages(const std::vector<std::string>& paths,
                                     std::vector<Finding>& findings, Learn learn = Learn::kAll,
                                     ImageCache* cache = nullptr);

// Every finding about a layout document (named file in findings) and the images at imagePaths,
// in the order lint prints them; images gets what was read of each image, what learn asks
// learnt. References are compared with the images as references says. What the layout's
// inline suppressions allow is left out (moved to suppressed when given).
std::vector<Finding> LintFindings(const std::string& file, const LayoutDocument& document,
                                  const std::vector<std::string>& imagePaths,
                                  std::vector<LintedImage>& images,
                                  References references = References::kWhenImagesGiven,
                                  Learn learn = Learn::kAll,
                                  std::vector<Finding>* suppressed = nullptr, bool schema = true,
                                  ImageCache* cache = nullptr);

// Every finding about a package read whole (no fault), whose layout text is document: what
// lint finds of that text and of the images, by file offset.
std::vector<Finding> PackageFindings(const PackageContents& contents,
                                     const LayoutDocument& document, const std::string& path);

}  // namespace vantu::branding_package
