// What lint finds, and the checks lint adds to the packager's own.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "inspect/line_index.h"
#include "inspect/model/findings.h"
#include "package/package_walker.h"

namespace vantu::branding_package {

// When lint compares the layout's references with the images.
enum class References {
  kWhenImagesGiven,  // a layout alone is checked without them
  kAlways            // no images means every reference is missing (what the packager says)
};

// An image given to lint, as far as it could be read.
struct LintedImage {
  std::string path;
  std::string name;          // what the package would call it
  bool read = false;         // opened and read whole
  std::uint32_t format = 0;  // when read: 0 PNG, 2 JPEG
  std::uint64_t size = 0;
  std::string sha256;  // when read
  bool decoded = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Checks of a layout the packager accepts that a client would still trip over: text that
// is not UTF-8 or declared in another encoding, empty names, menu items and title, and
// hyperlinks the client would not open. document is the parsed text; lines indexes text;
// textOffset is where text starts in a package (kNoOffset for a file of its own).
void CheckLayoutText(const std::string& file, const std::string& text, const LineIndex& lines,
                     const rapidxml::xml_document<char>& parsed, const char* documentStart,
                     std::uint64_t textOffset, std::vector<Finding>& findings);

// Every finding about a layout text, named file in the findings: the packager's parse and
// rules, the checks above, the schema, and, with imageNames, its references against them.
// With textOffset (a package's), each finding also gets its byte offset in the package.
void CheckLayout(const std::string& file, const std::string& text,
                 const std::vector<std::string>* imageNames, std::uint64_t textOffset,
                 std::vector<Finding>& findings);

// Whether url is a link the client opens: http or https with a host, or mailto with an
// address.
bool IsClientLink(std::string_view url);

// Prints each finding as "FILE:LINE:COLUMN: SEVERITY: MESSAGE [ID]", with the package
// offset after the column where there is one.
void PrintFindings(std::ostream& out, const std::vector<Finding>& findings);

// Reads, decodes and names every image; reports images that cannot be read (status 2), are
// not PNG or JPEG or do not decode (4), whose name's extension says another format, and
// whose names extract would refuse, hold control bytes, or are taken by other content.
std::vector<LintedImage> CheckImages(const std::vector<std::string>& paths,
                                     std::vector<Finding>& findings);

// Reads the layout document at layoutPath into text; on a failure reports it on err ("PATH:
// cannot open|read the file: reason") and returns false.
bool ReadLayoutText(const std::string& layoutPath, std::string& text, std::ostream& err);

// Every finding about a layout text (named file in findings) and the images at imagePaths,
// in the order lint prints them; images gets what was read of each image. References are
// compared with the images as references says.
std::vector<Finding> LintFindings(const std::string& file, const std::string& text,
                                  const std::vector<std::string>& imagePaths,
                                  std::vector<LintedImage>& images,
                                  References references = References::kWhenImagesGiven);

}  // namespace vantu::branding_package
