// What lint finds, and the checks lint adds to the packager's own.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "inspect/line_index.h"
#include "package/package_walker.h"

namespace vantu::branding_package {

// How much a finding weighs: an error stops the packager (or a client); a warning is what
// the packager accepts but should not, an error under --strict.
enum class Severity { kError, kWarning };

// One finding, at a 1-based line and column of a file (line 0: about no place).
struct Finding {
  std::string file;
  int line;
  int column;
  FaultKind kind;  // the exit status it stands for when it counts as an error
  Severity severity;
  std::string message;
};

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
// is not UTF-8 or declared in another encoding, and empty names, menu items and title.
// document is the parsed text; lines indexes text.
void CheckLayoutText(const std::string& file, const std::string& text, const LineIndex& lines,
                     const rapidxml::xml_document<char>& parsed, const char* documentStart,
                     std::vector<Finding>& findings);

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
