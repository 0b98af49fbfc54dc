#include "package/extract_names.h"

namespace vantu::branding_package {

bool IsExtractableName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxFileName && name != "." && name != ".." &&
         name != kExtractedLayoutName && name.find_first_of("/\\") == std::string_view::npos;
}

}  // namespace vantu::branding_package
