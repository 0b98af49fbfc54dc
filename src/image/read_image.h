// The image stage: an image file's bytes, checked to be PNG or JPEG.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_source.h"

namespace vantu::branding_package {

// Reads all of source into content (source.Size() bytes) and returns the stored format.
// Throws -504 "Unable to read Image file: " + imagePath when fewer bytes arrive or the file
// changed while it was read, and -503
// when the bytes are neither PNG nor JPEG.
std::uint32_t ReadImage(ByteSource& source, unsigned char* content, const std::string& imagePath);

}  // namespace vantu::branding_package
