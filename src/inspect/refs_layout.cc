#include <ostream>
#include <set>

#include "base/shown.h"
#include "inspect/commands.h"
#include "inspect/line_index.h"
#include "inspect/lint_findings.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

int ListReferences(const std::string& layoutPath, const RefsOptions& options, std::ostream& out,
                   std::ostream& err) {
  std::string text;
  if (!ReadLayoutText(layoutPath, text, err)) return static_cast<int>(Status::kIo);
  std::vector<char> document(text.begin(), text.end());
  document.push_back('\0');
  const LineIndex lines(text);
  auto report = [&](std::size_t offset, const std::string& message) {
    const auto [line, column] = lines.Position(offset);
    err << Shown(layoutPath) << ':' << line << ':' << column << ": error: " << Shown(message)
        << '\n';
  };
  rapidxml::xml_document<char> parsed;
  try {
    ParseLayout(document, parsed);
  } catch (const LayoutSyntaxError& e) {
    report(e.offset, e.what());
    return static_cast<int>(Status::kLayout);
  }
  // Every name once, in the order the layout first names it: one -i a line, or, for names
  // that may hold any byte, each ended by a zero byte and printed as it is.
  const std::string prefix = options.dir.empty() ? "" : options.dir + "/";
  std::set<std::string> seen;
  bool broken = false;
  CheckLayoutRules(
      parsed.first_node(),
      [&](const LayoutNode& /*element*/, std::string_view name) {
        if (!seen.emplace(name).second) return;
        if (options.null) {
          out << prefix << name << '\0';
        } else {
          out << Shown(prefix + std::string(name)) << '\n';
        }
      },
      [&](const LayoutNode* node, const std::string& message) {
        report(StartTagOffset(node, document.data()), message);
        broken = true;
        return true;
      });
  out.flush();
  return broken ? static_cast<int>(Status::kLayout) : 0;
}

}  // namespace vantu::branding_package
