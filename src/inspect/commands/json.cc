#include "inspect/commands/json.h"

#include "image/image_format.h"

#include <cstdio>

#include "base/utf8.h"
#include "base/version.h"

namespace vantu::branding_package {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  const auto escape = [&](unsigned code) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
    out += escaped;
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c >= 0x80 ? Utf8SequenceLength(text, i) : 1;
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
      escape(c);
    } else if (c >= 0x80 && length == 0) {
      // A byte that starts no character becomes a lone low surrogate, U+DC80 to U+DCFF, as
      // Python's surrogateescape writes it: no character is ever written so, so two names
      // never print alike, and Python's os.fsencode gives the byte back.
      escape(0xDC00U + c);
    } else {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    ++i;
  }
  return out + "\"";
}

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

std::string JsonImageFields(const ImageFacts& image) {
  std::string fields = "\"name\":" + JsonString(image.name) + ",\"format\":\"" +
                       FormatKey(image.format) + "\",\"width\":";
  if (!image.decoded.ok) return fields + "null,\"height\":null";
  return fields + std::to_string(image.decoded.width) +
         ",\"height\":" + std::to_string(image.decoded.height);
}

}  // namespace vantu::branding_package
