// Building the records a package holds from the stages' results.
#pragma once

#include <memory>
#include <string>

#include "base/byte_source.h"
#include "package/component_wrapper.h"

namespace vantu::branding_package {

// A finished record, as the writer keeps it.
using Record = std::unique_ptr<cBP_COMPONENT_WRAPPER>;

// The layout record holding text and its zero byte; the text must keep the record within
// 32 bits, as the layout stage ensures.
Record MakeLayoutRecord(const std::string& text);

// The image record of source, named by the last component of imagePath. Throws -504 when
// the record would not fit 32 bits, and the image stage's errors; checks come before
// anything is returned.
Record MakeImageRecord(ByteSource& source, const std::string& imagePath);

}  // namespace vantu::branding_package
