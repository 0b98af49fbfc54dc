#include "inspect/commands/json.h"

#include <cstdio>

#include "base/utf8.h"
#include "base/version.h"

namespace vantu::branding_package {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      if (length == 0) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out.append(text.substr(i, length));
        i += length;
        continue;
      }
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

}  // namespace vantu::branding_package

namespace vantu::branding_package {

namespace {}  // namespace

std::string JsonFindings(const std::vector<Finding>& findings) {
  std::string json = "[";
  for (const Finding& f : findings) {
    json += json.size() > 1 ? ",{" : "{";
    json += "\"id\":\"" + std::string(f.kind->id) + "\",\"severity\":\"" +
            SeverityName(f.severity()) + "\",\"file\":" + JsonString(f.file) +
            ",\"line\":" + std::to_string(f.line) + ",\"column\":" + std::to_string(f.column) +
            ",\"offset\":" + (f.offset == kNoOffset ? "null" : std::to_string(f.offset)) +
            ",\"element\":" + (f.element.empty() ? "null" : JsonString(f.element)) +
            ",\"message\":" + JsonString(f.message) + "}";
  }
  return json + "]";
}

std::string JsonHead(std::string_view command, const std::string& input, int status) {
  return "{\"tool\":\"branding-package-inspect\",\"version\":\"" + std::string(kVersion) +
         "\",\"command\":" + JsonString(command) + ",\"input\":" + JsonString(input) +
         ",\"status\":" + std::to_string(status);
}

std::string JsonTail(const std::vector<Finding>& findings, const std::optional<Fault>& fault) {
  return ",\"findings\":" + JsonFindings(findings) +
         ",\"fault\":" + (fault ? JsonFault(*fault) : std::string("null")) + "}\n";
}

std::string JsonFault(const Fault& fault) {
  std::string json = "{\"kind\":\"";
  json += EntryOf(fault.kind).key;
  json += "\",\"offset\":";
  json += fault.offset == kNoOffset ? "null" : std::to_string(fault.offset);
  json += ",\"message\":" + JsonString(fault.message) + "}";
  return json;
}

}  // namespace vantu::branding_package
