// Minimal JSON output for the inspect tool's --json mode.
#pragma once

#include <string>
#include <string_view>

#include "package/package_walker.h"

namespace vantu::branding_package {

// text as a JSON string literal, quotes included; bytes that are not valid UTF-8 are
// written as \u00XX of the byte, so the output is always valid JSON.
std::string JsonString(std::string_view text);

// fault as a JSON object: kind, offset (null when no byte is at fault) and message.
std::string JsonFault(const Fault& fault);

}  // namespace vantu::branding_package
