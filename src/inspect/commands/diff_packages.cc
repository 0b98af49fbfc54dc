#include <algorithm>
#include <ostream>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/shown.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/model/package_contents.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

namespace {

// Most line pairs compared in order (past the common start and end); beyond it the rest of
// the layouts is compared as multisets of lines.
constexpr std::size_t kMaxOrderedCells = 4'000'000;

// The images diff compares: the first of each name, in file order.
std::vector<const ImageFacts*> FirstOfEachName(const PackageContents& contents) {
  std::set<std::string_view> seen;
  std::vector<const ImageFacts*> images;
  for (const ImageFacts& image : contents.images) {
    if (seen.insert(image.name).second) images.push_back(&image);
  }
  return images;
}

std::string Quoted(std::string_view text) { return "\"" + Shown(text) + "\""; }

// Hashes a (path or line id, text) pair.
struct KeyHash {
  std::size_t operator()(const std::pair<std::uint32_t, std::string>& key) const {
    return std::hash<std::string>()(key.second) * 31 + key.first;
  }
};

// The lines of both layouts (each attribute or text as "path = value"), interned: a path is
// its parent's id and its last segment, so two lines compare as two integers and a deep
// layout costs no more than its size.
class LayoutLines {
 public:
  LayoutLines() { paths_.push_back({0, ""}); }

  // The lines of document, in document order.
  std::vector<std::uint32_t> Read(const LayoutDocument& document) {
    std::vector<std::uint32_t> lines;
    if (const auto& error = document.SyntaxError()) {
      lines.push_back(Line(0, "(layout text that does not parse: " + std::string(error->what()) +
                                  ") " + Quoted(document.Text())));
      return lines;
    }
    const auto& elements = document.Elements();
    for (std::size_t top = 0; top < elements.size(); top = elements[top].next) {
      Flatten(elements, top, Path(0, Shown(elements[top].segment)), lines);
    }
    return lines;
  }

  // How a line is shown.
  std::string Text(std::uint32_t line) const {
    const auto& [path, rest] = lines_[line];
    std::vector<std::uint32_t> chain;
    for (std::uint32_t at = path; at != 0; at = paths_[at].first) chain.push_back(at);
    if (chain.empty()) return rest;
    return "/" +
           ShortenedPath(
               chain.size(),
               [&](std::size_t i) {
                 return std::string_view(paths_[chain[chain.size() - 1 - i]].second);
               },
               "/") +
           rest;
  }

 private:
  std::uint32_t Path(std::uint32_t parent, std::string segment) {
    auto [it, added] = pathIds_.try_emplace({parent, std::move(segment)},
                                            static_cast<std::uint32_t>(paths_.size()));
    if (added) paths_.push_back(it->first);
    return it->second;
  }

  std::uint32_t Line(std::uint32_t path, std::string rest) {
    auto [it, added] =
        lineIds_.try_emplace({path, std::move(rest)}, static_cast<std::uint32_t>(lines_.size()));
    if (added) lines_.push_back(it->first);
    return it->second;
  }

  // The lines of element at index and of everything it holds.
  void Flatten(const std::vector<LayoutDocument::Element>& elements, std::size_t index,
               std::uint32_t path, std::vector<std::uint32_t>& lines) {
    const LayoutDocument::Element& element = elements[index];
    bool said = false;
    for (const LayoutDocument::Attribute& a : element.attributes) {
      lines.push_back(Line(path, "/@" + Shown(a.name) + " = " + Quoted(a.value)));
      said = true;
    }
    if (!element.text.empty()) {
      lines.push_back(Line(path, " = " + Quoted(element.text)));
      said = true;
    }
    // Its children follow it; each as the document's index names it.
    const bool parent = index + 1 < elements.size() && elements[index + 1].parent == index;
    for (std::size_t child = parent ? index + 1 : LayoutDocument::kNone;
         child != LayoutDocument::kNone; child = elements[child].next) {
      Flatten(elements, child, Path(path, Shown(elements[child].segment)), lines);
      said = true;
    }
    if (!said) lines.push_back(Line(path, ""));
  }

  std::vector<std::pair<std::uint32_t, std::string>> paths_;  // parent, segment; 0 the root
  std::unordered_map<std::pair<std::uint32_t, std::string>, std::uint32_t, KeyHash> pathIds_;
  std::vector<std::pair<std::uint32_t, std::string>> lines_;  // path, the rest of the line
  std::unordered_map<std::pair<std::uint32_t, std::string>, std::uint32_t, KeyHash> lineIds_;
};

// Lines of a not in b ('-') and of b not in a ('+'), in order: past the common start and end,
// by longest common subsequence, or as multisets where that would take too long.
std::vector<std::pair<char, std::uint32_t>> LineDiff(const std::vector<std::uint32_t>& a,
                                                     const std::vector<std::uint32_t>& b) {
  std::size_t first = 0;
  while (first < a.size() && first < b.size() && a[first] == b[first]) ++first;
  std::size_t n = a.size() - first;
  std::size_t m = b.size() - first;
  while (n > 0 && m > 0 && a[first + n - 1] == b[first + m - 1]) {
    --n;
    --m;
  }
  std::vector<std::pair<char, std::uint32_t>> out;
  if (n * m > kMaxOrderedCells) {
    std::unordered_map<std::uint32_t, std::size_t> left;
    std::unordered_map<std::uint32_t, std::size_t> right;
    for (std::size_t i = 0; i < n; ++i) ++left[a[first + i]];
    for (std::size_t j = 0; j < m; ++j) ++right[b[first + j]];
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t& count = right[a[first + i]];
      if (count > 0) {
        --count;
      } else {
        out.emplace_back('-', a[first + i]);
      }
    }
    for (std::size_t j = 0; j < m; ++j) {
      std::size_t& count = left[b[first + j]];
      if (count > 0) {
        --count;
      } else {
        out.emplace_back('+', b[first + j]);
      }
    }
    return out;
  }
  const auto* x = a.data() + first;
  const auto* y = b.data() + first;
  std::vector<std::uint32_t> common((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t i, std::size_t j) -> std::uint32_t& { return common[i * (m + 1) + j]; };
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      at(i, j) = x[i] == y[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    }
  }
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && x[i] == y[j]) {
      ++i;
      ++j;
    } else if (j == m || (i < n && at(i + 1, j) >= at(i, j + 1))) {
      out.emplace_back('-', x[i++]);
    } else {
      out.emplace_back('+', y[j++]);
    }
  }
  return out;
}

std::string Describe(const ImageFacts& image) {
  return FormatName(image.format) + ", " + PixelsText(image) + ", " + std::to_string(image.size) +
         " bytes, sha256 " + image.sha256;
}

std::vector<std::string> ImageDiff(const std::vector<const ImageFacts*>& a,
                                   const std::vector<const ImageFacts*>& b) {
  std::vector<std::string> out;
  // Names are distinct within each view.
  std::unordered_map<std::string_view, const ImageFacts*> inA;
  std::unordered_map<std::string_view, const ImageFacts*> inB;
  for (const ImageFacts* image : a) inA.emplace(image->name, image);
  for (const ImageFacts* image : b) inB.emplace(image->name, image);
  // An added image with the content of a removed one is that image renamed.
  std::unordered_map<std::string_view, std::vector<const ImageFacts*>> addedByContent;
  for (auto it = b.rbegin(); it != b.rend(); ++it) {
    if (inA.count((*it)->name) == 0) addedByContent[(*it)->sha256].push_back(*it);
  }
  std::set<const ImageFacts*> renamed;
  for (const ImageFacts* pointer : a) {
    const ImageFacts& image = *pointer;
    const auto other = inB.find(image.name);
    if (other != inB.end()) {
      if (other->second->sha256 != image.sha256 || other->second->format != image.format) {
        out.push_back("~" + Shown(image.name) + ": " + Describe(image) + " -> " +
                      Describe(*other->second));
      }
      continue;
    }
    auto& same = addedByContent[image.sha256];
    if (same.empty()) {
      out.push_back("-" + Shown(image.name) + ": " + Describe(image));
    } else {
      out.push_back(">" + Shown(image.name) + " -> " + Shown(same.back()->name) +
                    " (renamed): " + Describe(image));
      renamed.insert(same.back());
      same.pop_back();
    }
  }
  for (const ImageFacts* pointer : b) {
    const ImageFacts& image = *pointer;
    if (inA.count(image.name) == 0 && renamed.count(pointer) == 0) {
      out.push_back("+" + Shown(image.name) + ": " + Describe(image));
    }
  }
  return out;
}

std::string Names(const std::vector<const ImageFacts*>& images) {
  std::string names;
  for (const ImageFacts* image : images) names += (names.empty() ? "" : ", ") + Shown(image->name);
  return names;
}

}  // namespace

int DiffPackages(const std::string& before, const std::string& after, std::ostream& out,
                 std::ostream& err) {
  FileSource a(before);
  if (!a.IsOpen()) return ReportFault(err, before, CannotOpen(a));
  FileSource b(after);
  if (!b.IsOpen()) return ReportFault(err, after, CannotOpen(b));
  return DiffPackages(a, before, b, after, out, err);
}

int DiffPackages(ByteSource& a, const std::string& before, ByteSource& b, const std::string& after,
                 std::ostream& out, std::ostream& err) {
  // Two readings, compared: a read that fails is a fault, never a digest that compares equal.
  const PackageContents first = ReadPackageContents(a, FileDigest::kFirst);
  if (first.fault) return ReportFault(err, before, *first.fault);
  const PackageContents second = ReadPackageContents(b, FileDigest::kFirst);
  if (second.fault) return ReportFault(err, after, *second.fault);
  if (first.sha256 == second.sha256) return 0;

  LayoutLines lines;
  const std::vector<std::uint32_t> beforeLines = lines.Read(LayoutDocument(first.layoutText));
  const std::vector<std::pair<char, std::uint32_t>> layout =
      LineDiff(beforeLines, lines.Read(LayoutDocument(second.layoutText)));
  const std::vector<const ImageFacts*> imagesA = FirstOfEachName(first);
  const std::vector<const ImageFacts*> imagesB = FirstOfEachName(second);
  const std::vector<std::string> images = ImageDiff(imagesA, imagesB);
  out << "--- " << Shown(before) << "\n+++ " << Shown(after) << '\n';
  if (!layout.empty()) {
    out << "layout:\n";
    for (const auto& [sign, line] : layout) out << sign << lines.Text(line) << '\n';
  }
  if (!images.empty()) {
    out << "images:\n";
    for (const std::string& line : images) out << line << '\n';
  }
  if (layout.empty() && images.empty()) {
    // Same layout and images: the bytes differ in order, or in a repeated image.
    const std::string namesA = Names(imagesA);
    const std::string namesB = Names(imagesB);
    out << (namesA != namesB
                ? "image order: " + namesA + " -> " + namesB
                : std::string("records: the same layout and images, stored differently"))
        << '\n';
  }
  out.flush();
  return static_cast<int>(Status::kDiffer);
}

int TextOfPackage(ByteSource& source, const std::string& path, std::ostream& out,
                  std::ostream& err) {
  const PackageContents contents = ReadPackageContents(source, FileDigest::kSkip);
  if (contents.fault) return ReportFault(err, path, *contents.fault);
  // The lines diff compares, in document order, and every image in file order.
  LayoutLines lines;
  out << "layout:\n";
  for (const std::uint32_t line : lines.Read(LayoutDocument(contents.layoutText))) {
    out << lines.Text(line) << '\n';
  }
  out << "images:\n";
  for (const ImageFacts& image : contents.images) {
    out << Shown(image.name) << ": " << Describe(image) << '\n';
  }
  out.flush();
  return 0;
}

int TextOfPackage(const std::string& path, std::ostream& out, std::ostream& err) {
  FileSource file(path);
  if (!file.IsOpen()) return ReportFault(err, path, CannotOpen(file));
  return TextOfPackage(file, path, out, err);
}

}  // namespace vantu::branding_package
