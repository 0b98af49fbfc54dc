#include "layout/layout_document.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <rapidxml/rapidxml.hpp>

#include "base/byte_source.h"
#include "layout/layout_rules.h"
#include "layout/layout_text.h"
#include "layout/layout_vocabulary.h"

namespace vantu::branding_package {

namespace {

// The layout in source whole, refusing one longer than kMaxLayoutText.
LayoutFile ReadWhole(ByteSource& source) {
  LayoutFile file;
  if (source.Size() > kMaxLayoutText) {
    file.problem = LayoutFile::Problem::kTooLarge;
    return file;
  }
  file.text.resize(static_cast<std::size_t>(source.Size()));
  if (!source.ReadWhole(file.text.data(), source.Size())) {
    file.problem = LayoutFile::Problem::kCannotRead;
    file.reason = source.ReadFailure();
    file.text.clear();
  }
  return file;
}

}  // namespace

LayoutFile ReadLayoutFile(const std::string& path) {
  FileSource source(path);
  if (!source.IsOpen()) {
    LayoutFile file;
    file.problem = LayoutFile::Problem::kCannotOpen;
    file.reason = source.OpenFailure();
    return file;
  }
  LayoutFile file = ReadWhole(source);
  file.id = source.Id();
  return file;
}

struct LayoutDocument::Parsed {
  // Provided, so that make_unique does not first zero the parser's 64 KiB pool.
  Parsed() {}          // NOLINT(modernize-use-equals-default)
  std::string buffer;  // a copy of the text, which the parser changes in place
  rapidxml::xml_document<char> tree;
};

LayoutDocument::LayoutDocument(std::string text)
    : text_(std::move(text)), parsed_(std::make_unique<Parsed>()), lines_(text_) {
  std::string& buffer = parsed_->buffer;
  buffer = text_;
  try {
    ParseLayout(buffer, parsed_->tree, &marks_);
  } catch (const LayoutSyntaxError& e) {
    syntaxError_ = e;
    parsed_->tree.clear();
    marks_ = {};
    return;
  }
  const LayoutNode* top = parsed_->tree.first_node();
  CheckLayoutRules(
      top,
      [&](const LayoutNode& element, std::string_view name) {
        references_.push_back(
            {std::string(name), StartTagOffset(&element, buffer.data()),
             std::string_view(element.name(), element.name_size()) == vocabulary::kAppIcon});
      },
      [&](const LayoutNode* node, const std::string& message) {
        violations_.push_back({StartTagOffset(node, buffer.data()), message});
        return true;
      });
  model_ = ModelOf(top, buffer.data());
  IndexElements();
}

LayoutDocument::~LayoutDocument() = default;

const LayoutNode* LayoutDocument::Top() const {
  return syntaxError_ ? nullptr : parsed_->tree.first_node();
}

std::optional<std::string> LayoutDocument::StoredText() const {
  if (syntaxError_) return std::nullopt;
  return PrintCompact(parsed_->tree);
}

namespace {

// The next element among node and its following siblings, or null.
const LayoutNode* ElementFrom(const LayoutNode* node) {
  while (node != nullptr && node->type() != rapidxml::node_element) node = node->next_sibling();
  return node;
}

// Segments of a path shown whole; a deeper path shows its first and last ones.
constexpr std::size_t kShownHead = 4;
constexpr std::size_t kShownTail = 8;
// The most bytes of one segment shown: a path's length is bounded whatever its names.
constexpr std::size_t kShownSegment = 64;

}  // namespace

void LayoutDocument::IndexElements() {
  const char* buffer = parsed_->buffer.data();
  // Depth first, each element when it is reached: document order, the order of the offsets.
  struct Open {
    const LayoutNode* next;                                           // the child to index next
    std::size_t index;                                                // of the element itself
    std::size_t last;                                                 // its last child indexed
    std::unordered_map<std::string_view, std::pair<int, int>> names;  // children: count, seen
  };
  std::vector<Open> open;
  std::size_t value = 0;  // the next attribute value marked
  auto add = [&](const LayoutNode& node, std::size_t parent, std::string segment) {
    // The look ahead saw the same elements in the same order, and their values; were it ever
    // to see fewer, what it missed would reach to the text's end.
    const MarkupMarks::Element marked =
        elements_.size() < marks_.elements.size()
            ? marks_.elements[elements_.size()]
            : MarkupMarks::Element{text_.size(), MarkupMarks::kNone, text_.size()};
    Element element{{node.name(), node.name_size()},
                    std::move(segment),
                    StartTagOffset(&node, buffer),
                    marked.tagEnd,
                    marked.closeTag,
                    marked.end,
                    parent,
                    kNone,
                    0,
                    {},
                    {}};
    for (auto* a = node.first_attribute(); a != nullptr; a = a->next_attribute()) {
      element.attributes.push_back({std::string_view(a->name(), a->name_size()),
                                    std::string_view(a->value(), a->value_size()),
                                    value < marks_.values.size()
                                        ? marks_.values[value++]
                                        : Span{text_.size(), text_.size()}});
    }
    Open entered{ElementFrom(node.first_node()), elements_.size(), kNone, {}};
    for (const LayoutNode* c = node.first_node(); c != nullptr; c = c->next_sibling()) {
      ++element.nodes;
      if (c->type() == rapidxml::node_data || c->type() == rapidxml::node_cdata) {
        element.text.append(c->value(), c->value_size());
      } else if (c->type() == rapidxml::node_element) {
        ++entered.names[{c->name(), c->name_size()}].first;
      }
    }
    elements_.push_back(std::move(element));
    open.push_back(std::move(entered));
  };
  // Every top-level element (the packager keeps them all), each by its name alone.
  std::size_t previousTop = kNone;
  for (const LayoutNode* top = ElementFrom(parsed_->tree.first_node()); top != nullptr;
       top = ElementFrom(top->next_sibling())) {
    if (previousTop != kNone) elements_[previousTop].next = elements_.size();
    previousTop = elements_.size();
    add(*top, kNone, std::string(top->name(), top->name_size()));
    while (!open.empty()) {
      Open& parent = open.back();
      const LayoutNode* child = parent.next;
      if (child == nullptr) {
        open.pop_back();
        continue;
      }
      parent.next = ElementFrom(child->next_sibling());
      if (parent.last != kNone) elements_[parent.last].next = elements_.size();
      parent.last = elements_.size();
      auto& [count, seen] = parent.names[{child->name(), child->name_size()}];
      std::string segment(child->name(), child->name_size());
      if (count > 1) segment += "[" + std::to_string(++seen) + "]";
      add(*child, parent.index, std::move(segment));
    }
  }
}

std::size_t LayoutDocument::ElementAt(std::size_t offset) const {
  const auto found = std::lower_bound(
      elements_.begin(), elements_.end(), offset,
      [](const Element& element, std::size_t value) { return element.offset < value; });
  if (found == elements_.end() || found->offset != offset) return kNone;
  return static_cast<std::size_t>(found - elements_.begin());
}

std::string LayoutDocument::ElementPath(std::size_t offset) const {
  const auto after = std::upper_bound(
      elements_.begin(), elements_.end(), offset,
      [](std::size_t value, const Element& element) { return value < element.offset; });
  if (after == elements_.begin()) return "";
  auto at = static_cast<std::size_t>(after - elements_.begin()) - 1;
  // At an end tag, the element it closes.
  const auto& closings = marks_.closings;
  const auto closing = std::lower_bound(
      closings.begin(), closings.end(), offset,
      [&](std::size_t index, std::size_t value) { return elements_[index].closeTag < value; });
  if (closing != closings.end() && elements_[*closing].closeTag == offset) at = *closing;
  std::vector<std::size_t> chain;  // from the element up, the top element left out
  for (; elements_[at].parent != kNone; at = elements_[at].parent) chain.push_back(at);
  if (chain.empty()) return elements_[at].segment;
  return ShortenedPath(
      chain.size(),
      [&](std::size_t i) {
        return std::string_view(elements_[chain[chain.size() - 1 - i]].segment);
      },
      "/");
}

std::string ShortenedPath(std::size_t count,
                          const std::function<std::string_view(std::size_t)>& segment,
                          std::string_view separator) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) {
    if (count > kShownHead + kShownTail && i == kShownHead) {
      path += "/...(" + std::to_string(count - kShownHead - kShownTail) + " more)";
      i = count - kShownTail - 1;
      continue;
    }
    if (i > 0) path += separator;
    const std::string_view name = segment(i);
    if (name.size() <= kShownSegment) {
      path += name;
      continue;
    }
    // Cut where a character starts; the length told, so that the cut is seen.
    std::size_t cut = kShownSegment - 16;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    path += name.substr(0, cut);
    path += "...(" + std::to_string(name.size()) + " bytes)";
  }
  return path;
}

}  // namespace vantu::branding_package
