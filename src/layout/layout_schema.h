// The XML Schema that layout documents follow, as printed by --dump-xml-schema.
#pragma once

#include <string_view>

namespace vantu::branding_package {

// 2726 bytes of 7-bit text, LF line ends, no line end after "</xs:schema>".
extern const std::string_view XmlLayoutSchema;

}  // namespace vantu::branding_package
