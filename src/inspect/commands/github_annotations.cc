#include <string>

#include "base/shown.h"
#include "inspect/commands/ci_formats.h"

namespace vantu::branding_package {

namespace {

// text as a workflow command's message or, with property, a property value: control bytes
// (line ends among them) shown C-style as everywhere, and what would split it percent-encoded,
// as the runner decodes it.
std::string Escaped(std::string_view text, bool property) {
  std::string out;
  for (const char c : Shown(text)) {
    if (c == '%') {
      out += "%25";
    } else if (property && c == ':') {
      out += "%3A";
    } else if (property && c == ',') {
      out += "%2C";
    } else {
      out += c;
    }
  }
  return out;
}

// The workflow command of a severity: its own word, but "notice" for a note.
std::string Command(Severity severity) {
  return severity == Severity::kNote ? "notice" : SeverityName(severity);
}

}  // namespace

std::string GithubAnnotations(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) {
    out += "::" + Command(f.severity()) + " file=" + Escaped(f.file, true);
    if (f.line > 0) {
      out += ",line=" + std::to_string(f.line);
      if (f.column > 0) out += ",col=" + std::to_string(f.column);
    }
    out += ",title=" + Escaped(f.kind->id, true) + "::" + Escaped(f.message, false) + '\n';
  }
  return out;
}

}  // namespace vantu::branding_package
