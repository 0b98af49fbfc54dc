// Which stored image names can be written as files, by extract or by a client.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantu::branding_package {

// The name of the file that holds the layout text when a package is extracted.
constexpr char kExtractedLayoutName[] = "layout.xml";

// Longest file name a directory entry takes (NAME_MAX on Linux).
constexpr std::size_t kMaxFileName = 255;

// Whether name can be a file inside a directory without leaving it or naming nothing: not
// empty, ".", "..", kExtractedLayoutName, longer than kMaxFileName, and without "/" or "\".
bool IsExtractableName(std::string_view name);

}  // namespace vantu::branding_package
