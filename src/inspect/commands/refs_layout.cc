#include <ostream>
#include <set>

#include "base/shown.h"
#include "inspect/commands/commands.h"
#include "inspect/model/checks.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

int ListReferences(const std::string& layoutPath, const RefsOptions& options, std::ostream& out,
                   std::ostream& err) {
  std::string text;
  if (!ReadLayoutText(layoutPath, text, err)) return static_cast<int>(Status::kIo);
  const LayoutDocument document(std::move(text));
  auto report = [&](std::size_t offset, const std::string& message) {
    const auto [line, column] = document.Position(offset);
    err << Shown(layoutPath) << ':' << line << ':' << column << ": error: " << Shown(message)
        << '\n';
  };
  if (const auto& error = document.SyntaxError()) {
    report(error->offset, error->what());
    return static_cast<int>(Status::kLayout);
  }
  // Every name once, in the order the layout first names it: one -i a line, or, for names
  // that may hold any byte, each ended by a zero byte and printed as it is.
  const std::string prefix = options.dir.empty() ? "" : options.dir + "/";
  std::set<std::string> seen;
  for (const LayoutDocument::Reference& reference : document.References()) {
    if (!seen.insert(reference.name).second) continue;
    if (options.null) {
      out << prefix << reference.name << '\0';
    } else {
      out << Shown(prefix + reference.name) << '\n';
    }
  }
  for (const LayoutDocument::Violation& violation : document.Violations()) {
    report(violation.offset, violation.message);
  }
  const bool broken = !document.Violations().empty();
  out.flush();
  return broken ? static_cast<int>(Status::kLayout) : 0;
}

}  // namespace vantu::branding_package
