#include "image/read_image.h"

#include "base/bp_exception.h"
#include "image/image_format.h"

namespace vantu::branding_package {

std::uint32_t ReadImage(ByteSource& source, unsigned char* content, const std::string& imagePath) {
  // A file written to while it was read may hold bytes that never were on disk together.
  if (!source.ReadWhole(content, source.Size())) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to read Image file: " + imagePath);
  }
  const auto format = DetectImageFormat(content, source.Size());
  if (!format) throw cBP_EXCEPTION(BP_ERR_MALFORMED, "Invalid Image type. Must be PNG or JPEG");
  return *format;
}

}  // namespace vantu::branding_package
