#include <algorithm>
#include <map>
#include <set>
#include <ostream>
#include <vector>

#include "base/shown.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/commands.h"
#include "layout/parse_layout.h"

namespace vantu::branding_package {

namespace {

using Node = rapidxml::xml_node<char>;

// Most line pairs compared in order; beyond it the layouts are compared as sets of lines.
constexpr std::size_t kMaxOrderedCells = 16'000'000;

struct ImageView {
  std::string name;
  std::uint32_t format = 0;
  std::uint32_t dataSize = 0;
  std::string sha256;
  DecodedImage decoded;
};

// What diff compares of a package.
struct PackageView {
  std::string layoutText;
  std::vector<ImageView> images;  // in file order, the first record of each name
  std::string sha256;             // of the whole file
};

std::optional<Fault> ReadView(ByteSource& source, PackageView& view) {
  std::set<std::string> seen;
  auto fault = WalkPackage(source, [&](const PackageRecord& r, const ContentReader&) {
    if (r.type == RecordType::kLayout) view.layoutText = r.text;
    if (r.type != RecordType::kImage || !seen.insert(r.name).second) {
      return std::optional<Fault>();
    }
    SliceSource data(source, r.dataOffset, r.dataSize);
    ImageView image{r.name, r.format, r.dataSize, Sha256Hex(data).value_or(""),
                    DecodeImage(source, r.dataOffset, r.dataSize, r.format)};
    if (image.sha256.empty()) {
      return std::optional<Fault>(
          Fault{FaultKind::kIo, r.dataOffset, "cannot read the file: " + source.ReadFailure()});
    }
    view.images.push_back(std::move(image));
    return std::optional<Fault>();
  });
  if (!fault) view.sha256 = Sha256Hex(source).value_or("");
  return fault;
}

std::string Quoted(std::string_view text) { return "\"" + Shown(text) + "\""; }

// Every attribute and text of the layout as one line "path = value", in document order.
void Flatten(const Node& node, const std::string& path, std::vector<std::string>& lines) {
  bool said = false;
  for (auto* a = node.first_attribute(); a != nullptr; a = a->next_attribute()) {
    lines.push_back(path + "/@" + std::string(a->name(), a->name_size()) + " = " +
                    Quoted({a->value(), a->value_size()}));
    said = true;
  }
  std::string text;
  std::map<std::string, int> counts;
  for (const Node* child = node.first_node(); child != nullptr; child = child->next_sibling()) {
    if (child->type() == rapidxml::node_data || child->type() == rapidxml::node_cdata) {
      text.append(child->value(), child->value_size());
    } else if (child->type() == rapidxml::node_element) {
      ++counts[std::string(child->name(), child->name_size())];
    }
  }
  if (!text.empty()) {
    lines.push_back(path + " = " + Quoted(text));
    said = true;
  }
  std::map<std::string, int> seen;
  for (const Node* child = node.first_node(); child != nullptr; child = child->next_sibling()) {
    if (child->type() != rapidxml::node_element) continue;
    const std::string name(child->name(), child->name_size());
    std::string childPath = path + "/" + Shown(name);
    if (counts[name] > 1) childPath += "[" + std::to_string(++seen[name]) + "]";
    Flatten(*child, childPath, lines);
    said = true;
  }
  if (!said) lines.push_back(path);
}

std::vector<std::string> LayoutLines(const std::string& text) {
  std::vector<char> document(text.begin(), text.end());
  document.push_back('\0');
  rapidxml::xml_document<char> parsed;
  try {
    ParseLayout(document, parsed);
  } catch (const LayoutSyntaxError& e) {
    return {"(layout text that does not parse: " + std::string(e.what()) + ") " + Quoted(text)};
  }
  std::vector<std::string> lines;
  for (const Node* node = parsed.first_node(); node != nullptr; node = node->next_sibling()) {
    Flatten(*node, "/" + Shown({node->name(), node->name_size()}), lines);
  }
  return lines;
}

// Lines of a not in b ("-") and of b not in a ("+"), in order, by longest common
// subsequence; as multisets when the layouts are too large for that.
std::vector<std::string> LineDiff(const std::vector<std::string>& a,
                                  const std::vector<std::string>& b) {
  std::vector<std::string> out;
  if (a.size() * b.size() > kMaxOrderedCells) {
    std::multiset<std::string> left(a.begin(), a.end());
    std::multiset<std::string> right(b.begin(), b.end());
    for (const std::string& line : a) {
      if (auto it = right.find(line); it != right.end()) {
        right.erase(it);
      } else {
        out.push_back("-" + line);
      }
    }
    for (const std::string& line : b) {
      if (auto it = left.find(line); it != left.end()) {
        left.erase(it);
      } else {
        out.push_back("+" + line);
      }
    }
    return out;
  }
  const std::size_t n = a.size();
  const std::size_t m = b.size();
  std::vector<std::uint32_t> common((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return common[i * (m + 1) + j]; };
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      at(i, j) = a[i] == b[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    }
  }
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[i] == b[j]) {
      ++i;
      ++j;
    } else if (j == m || (i < n && at(i + 1, j) >= at(i, j + 1))) {
      out.push_back("-" + a[i++]);
    } else {
      out.push_back("+" + b[j++]);
    }
  }
  return out;
}

std::string Describe(const ImageView& image) {
  std::string text = FormatName(image.format) + ", ";
  if (image.decoded.ok) {
    text += std::to_string(image.decoded.width) + "x" + std::to_string(image.decoded.height) +
            " pixels, ";
  } else {
    text += "does not decode, ";
  }
  return text + std::to_string(image.dataSize) + " bytes, sha256 " + image.sha256;
}

std::vector<std::string> ImageDiff(const std::vector<ImageView>& a,
                                   const std::vector<ImageView>& b) {
  std::vector<std::string> out;
  auto find = [](const std::vector<ImageView>& images, const std::string& name) {
    return std::find_if(images.begin(), images.end(),
                        [&](const ImageView& image) { return image.name == name; });
  };
  for (const ImageView& image : a) {
    const auto other = find(b, image.name);
    if (other == b.end()) {
      out.push_back("-" + Shown(image.name) + ": " + Describe(image));
    } else if (other->sha256 != image.sha256 || other->format != image.format) {
      out.push_back("~" + Shown(image.name) + ": " + Describe(image) + " -> " + Describe(*other));
    }
  }
  for (const ImageView& image : b) {
    if (find(a, image.name) == a.end()) out.push_back("+" + Shown(image.name) + ": " + Describe(image));
  }
  return out;
}

std::string Names(const std::vector<ImageView>& images) {
  std::string names;
  for (const ImageView& image : images) names += (names.empty() ? "" : ", ") + Shown(image.name);
  return names;
}

}  // namespace

int DiffPackages(const std::string& before, const std::string& after, std::ostream& out,
                 std::ostream& err) {
  PackageView views[2];
  const std::string* paths[2] = {&before, &after};
  for (int k = 0; k < 2; ++k) {
    FileSource file(*paths[k]);
    if (!file.IsOpen()) return ReportFault(err, *paths[k], CannotOpen(file));
    if (auto fault = ReadView(file, views[k])) return ReportFault(err, *paths[k], *fault);
  }
  if (views[0].sha256 == views[1].sha256) return 0;

  const std::vector<std::string> layout =
      LineDiff(LayoutLines(views[0].layoutText), LayoutLines(views[1].layoutText));
  const std::vector<std::string> images = ImageDiff(views[0].images, views[1].images);
  out << "--- " << Shown(before) << "\n+++ " << Shown(after) << '\n';
  if (!layout.empty()) {
    out << "layout:\n";
    for (const std::string& line : layout) out << line << '\n';
  }
  if (!images.empty()) {
    out << "images:\n";
    for (const std::string& line : images) out << line << '\n';
  }
  if (layout.empty() && images.empty()) {
    // Same layout and images: the bytes differ in order, or in a repeated image.
    const std::string a = Names(views[0].images);
    const std::string b = Names(views[1].images);
    out << (a != b ? "image order: " + a + " -> " + b
                   : std::string("records: the same layout and images, stored differently"))
        << '\n';
  }
  out.flush();
  return kDiffer;
}

}  // namespace vantu::branding_package
