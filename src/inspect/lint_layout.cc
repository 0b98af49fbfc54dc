#include <algorithm>
#include <climits>
#include <optional>
#include <utility>
#include <ostream>

#include "base/bp_exception.h"
#include "base/shown.h"
#include "image/image_format.h"
#include "inspect/commands.h"
#include "inspect/line_index.h"
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

struct Reference {
  std::string name;
  std::size_t offset;
};

// What the packager would say of the image at path; none when it would take it.
std::optional<std::string> ImageProblem(const std::string& path) {
  FileSource file(path);
  if (!file.IsOpen()) return "Unable to open Image file: " + path + " (" + file.OpenFailure() + ")";
  try {
    MakeImageRecord(file, path);
  } catch (const cBP_EXCEPTION& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

// Widest an element may be for the schema check: the schema library walks every earlier
// sibling for each finding it raises, and compares attributes pairwise.
constexpr std::size_t kMaxCheckedChildren = 2000;
constexpr std::size_t kMaxCheckedAttributes = 1000;

// Why the schema check would take too long on the document, with the element at fault;
// none when it is fit.
std::optional<std::pair<const LayoutNode*, std::string>> TooWideForSchema(
    const rapidxml::xml_document<char>& parsed) {
  std::vector<const LayoutNode*> pending{&parsed};
  while (!pending.empty()) {
    const LayoutNode* node = pending.back();
    pending.pop_back();
    std::size_t children = 0;
    for (const LayoutNode* child = node->first_node(); child != nullptr;
         child = child->next_sibling()) {
      ++children;
      if (child->type() == rapidxml::node_element) pending.push_back(child);
    }
    std::size_t attributes = 0;
    for (auto* a = node->first_attribute(); a != nullptr; a = a->next_attribute()) ++attributes;
    const std::string name(node->name(), node->name_size());
    if (children > kMaxCheckedChildren) {
      return std::make_pair(node, "schema not checked: element '" + name + "' holds " +
                                      std::to_string(children) + " nodes, more than " +
                                      std::to_string(kMaxCheckedChildren));
    }
    if (attributes > kMaxCheckedAttributes) {
      return std::make_pair(node, "schema not checked: element '" + name + "' has " +
                                      std::to_string(attributes) + " attributes, more than " +
                                      std::to_string(kMaxCheckedAttributes));
    }
  }
  return std::nullopt;
}

}  // namespace

int LintLayout(const std::string& layoutPath, const std::vector<std::string>& images,
               std::ostream& out, std::ostream& err) {
  FileSource file(layoutPath);
  std::string text;
  if (!file.IsOpen()) {
    err << Shown(layoutPath) << ": cannot open the file: " << file.OpenFailure() << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }
  // The schema library takes lengths as int.
  if (file.Size() > INT_MAX) {
    err << Shown(layoutPath) << ": cannot read the file: larger than " << INT_MAX << " bytes"
        << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }
  text.resize(static_cast<std::size_t>(file.Size()));
  if (!file.ReadAll(text.data(), file.Size())) {
    err << Shown(layoutPath) << ": cannot read the file: " << file.ReadFailure() << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }

  std::vector<Finding> findings;
  const LineIndex lines(text);
  auto add = [&](std::size_t offset, FaultKind kind, const std::string& message,
                 bool schema = false) {
    const auto [line, column] = lines.Position(offset);
    findings.push_back({layoutPath, line, column, kind, schema, message});
  };

  // What the packager sees: a zero byte ends the document.
  std::vector<char> document(text.begin(), text.end());
  document.push_back('\0');
  rapidxml::xml_document<char> parsed;
  std::vector<Reference> references;
  std::size_t rootOffset = 0;
  bool wellFormed = false;
  bool schemaFit = true;
  try {
    ParseLayout(document, parsed);
    wellFormed = true;
    auto offsetOf = [&](const LayoutNode* node) {
      return node == nullptr || node->name_size() == 0
                 ? 0
                 : static_cast<std::size_t>(node->name() - document.data()) - 1;
    };
    if (auto tooWide = TooWideForSchema(parsed)) {
      schemaFit = false;
      add(offsetOf(tooWide->first), FaultKind::kLayout, tooWide->second, true);
    }
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
    return f.kind == FaultKind::kLayout && !f.schema;
  });
  // A document the packager cannot parse gets the packager's one syntax error, not the
  // schema library's wording of it too.
  if (wellFormed && schemaFit) {
    for (const SchemaFinding& s : CheckAgainstSchema(text, layoutPath)) {
      findings.push_back({layoutPath, s.line, s.column, FaultKind::kLayout, true, s.message});
    }
  }
  std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
    const bool aLayout = a.file == layoutPath;
    const bool bLayout = b.file == layoutPath;
    if (aLayout != bLayout) return aLayout;
    // A finding without a position (line 0) sums up the rest: it goes last.
    const bool aPlaced = a.line > 0;
    const bool bPlaced = b.line > 0;
    if (aPlaced != bPlaced) return aPlaced;
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
