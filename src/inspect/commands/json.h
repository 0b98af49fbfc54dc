// Minimal JSON output for the inspect tool's --json mode.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/model/findings.h"
#include "inspect/model/image_facts.h"
#include "package/package_walker.h"

namespace vantu::branding_package {

// text as a JSON string literal, quotes included; a byte that starts no UTF-8 character is
// written as the lone surrogate \udc80 to \udcff, so that a script gets the bytes back.
std::string JsonString(std::string_view text);

// findings as a JSON array of objects: id, severity, file, line, column, offset (or null),
// element (the layout element's path, or null), message.
std::string JsonFindings(const std::vector<Finding>& findings);

// The fields every --json object starts with, the brace included: tool, version, command,
// input (the file the command was given first) and status (the exit status).
std::string JsonHead(std::string_view command, const std::string& input, int status);

// The fields every --json object ends with, the closing brace and line end included:
// findings, and fault (null when none).
std::string JsonTail(const std::vector<Finding>& findings, const std::optional<Fault>& fault);

// An image's "name", "format", "width" and "height" (both null when it does not decode), as
// every command's JSON shows them; each adds its own fields after them.
std::string JsonImageFields(const ImageFacts& image);

// fault as a JSON object: kind, offset (null when no byte is at fault) and message.
std::string JsonFault(const Fault& fault);

}  // namespace vantu::branding_package
