#include <algorithm>
#include <climits>
#include <ostream>

#include "base/bp_exception.h"
#include "base/shown.h"
#include "image/image_format.h"
#include "inspect/commands.h"
#include "inspect/schema_check.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"
#include "package/name_match.h"
#include "package/records.h"

namespace vantu::branding_package {

namespace {

struct Finding {
  std::string file;
  int line;
  int column;
  FaultKind kind;  // what kind of error it would be; schema findings may be warnings
  bool schema;
  std::string message;
};

// Line and column (1-based, in bytes) of offset in text.
std::pair<int, int> Position(const std::string& text, std::size_t offset) {
  offset = std::min(offset, text.size());
  const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
  const std::size_t newline = offset == 0 ? std::string::npos : text.rfind('\n', offset - 1);
  const std::size_t column = newline == std::string::npos ? offset + 1 : offset - newline;
  return {static_cast<int>(line), static_cast<int>(column)};
}

struct Reference {
  std::string name;
  std::size_t offset;
};

// What the packager would say of the image at path; none when it would take it.
std::optional<std::string> ImageProblem(const std::string& path) {
  FileSource file(path);
  if (!file.IsOpen()) return "Unable to open Image file: " + path;
  try {
    MakeImageRecord(file, path);
  } catch (const cBP_EXCEPTION& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

}  // namespace

int LintLayout(const std::string& layoutPath, const std::vector<std::string>& images,
               std::ostream& out, std::ostream& err) {
  FileSource file(layoutPath);
  std::string text;
  if (!file.IsOpen() || file.Size() > INT_MAX) {
    err << Shown(layoutPath) << ": cannot open the file" << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }
  text.resize(static_cast<std::size_t>(file.Size()));
  if (!file.ReadAll(text.data(), file.Size())) {
    err << Shown(layoutPath) << ": cannot read the file" << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }

  std::vector<Finding> findings;
  auto add = [&](std::size_t offset, FaultKind kind, const std::string& message) {
    const auto [line, column] = Position(text, offset);
    findings.push_back({layoutPath, line, column, kind, false, message});
  };

  // What the packager sees: a zero byte ends the document.
  std::vector<char> document(text.begin(), text.end());
  document.push_back('\0');
  rapidxml::xml_document<char> parsed;
  std::vector<Reference> references;
  std::size_t rootOffset = 0;
  try {
    ParseLayout(document, parsed);
    auto offsetOf = [&](const LayoutNode* node) {
      return node == nullptr ? 0 : static_cast<std::size_t>(node->name() - document.data()) - 1;
    };
    rootOffset = offsetOf(parsed.first_node());
    CheckLayoutRules(
        parsed.first_node(),
        [&](const LayoutNode& element, std::string_view name) {
          references.push_back({std::string(name), offsetOf(&element)});
        },
        [&](const LayoutNode* node, const std::string& message) {
          add(offsetOf(node), FaultKind::kLayout, message);
          return true;
        });
  } catch (const LayoutSyntaxError& e) {
    add(e.offset, FaultKind::kLayout, e.what());
  }

  if (!images.empty()) {
    std::vector<std::string> referenceNames;
    std::vector<std::string> imageNames;
    referenceNames.reserve(references.size());
    for (const Reference& r : references) referenceNames.push_back(r.name);
    for (const std::string& image : images) {
      if (auto problem = ImageProblem(image)) {
        findings.push_back({image, 1, 1, FaultKind::kImage, false, *problem});
      }
      imageNames.emplace_back(ImageName(image));
    }
    const NameMismatches mismatches = MatchNames(referenceNames, imageNames);
    for (std::size_t i : mismatches.references) {
      add(references[i].offset, FaultKind::kReferences, kNoResourceFound + references[i].name);
    }
    for (std::size_t i : mismatches.resources) {
      add(rootOffset, FaultKind::kReferences, kNoReferenceFound + imageNames[i]);
    }
  }

  // Schema findings are errors only where the packager's own rules reject the layout too.
  const bool layoutAccepted = std::none_of(findings.begin(), findings.end(), [](const Finding& f) {
    return f.kind == FaultKind::kLayout;
  });
  for (const SchemaFinding& s : CheckAgainstSchema(text, layoutPath)) {
    findings.push_back({layoutPath, s.line, s.column, FaultKind::kLayout, true, s.message});
  }
  std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
    const bool aLayout = a.file == layoutPath;
    const bool bLayout = b.file == layoutPath;
    if (aLayout != bLayout) return aLayout;
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });

  int status = 0;
  for (const Finding& f : findings) {
    const bool error = !f.schema || !layoutAccepted;
    out << Shown(f.file) << ':' << f.line << ':' << f.column << ": "
        << (error ? "error" : "warning") << ": " << Shown(f.message) << '\n';
    if (error && (status == 0 || static_cast<int>(f.kind) < status)) status = static_cast<int>(f.kind);
  }
  out.flush();
  return status;
}

}  // namespace vantu::branding_package
