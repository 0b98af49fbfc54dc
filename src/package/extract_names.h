// Which stored image names can be written as files, by extract or by a client.
#pragma once

#include <string_view>

namespace vantu::branding_package {

// The name of the file that holds the layout text when a package is extracted.
constexpr char kExtractedLayoutName[] = "layout.xml";

// Whether name can be a file inside a directory without leaving it or naming nothing: not
// empty, ".", "..", kExtractedLayoutName, and without "/" or "\".
bool IsExtractableName(std::string_view name);

}  // namespace vantu::branding_package
