#include "layout/layout_document.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/byte_source.h"
#include "layout/layout_rules.h"

namespace vantu::branding_package {

LayoutFile ReadLayoutFile(const std::string& path) {
  LayoutFile file;
  FileSource source(path);
  if (!source.IsOpen()) {
    file.problem = LayoutFile::Problem::kCannotOpen;
    file.reason = source.OpenFailure();
    return file;
  }
  if (source.Size() > kMaxLayoutText) {
    file.problem = LayoutFile::Problem::kTooLarge;
    return file;
  }
  file.text.resize(static_cast<std::size_t>(source.Size()));
  if (!source.ReadAll(file.text.data(), source.Size())) {
    file.problem = LayoutFile::Problem::kCannotRead;
    file.reason = source.ReadFailure();
    file.text.clear();
  }
  return file;
}

LayoutDocument::LayoutDocument(std::string text)
    : text_(std::move(text)), buffer_(text_.begin(), text_.end()), lines_(text_) {
  buffer_.push_back('\0');
  try {
    ParseLayout(buffer_, parsed_);
  } catch (const LayoutSyntaxError& e) {
    syntaxError_ = e;
    parsed_.clear();
    return;
  }
  CheckLayoutRules(
      parsed_.first_node(),
      [&](const LayoutNode& element, std::string_view name) {
        references_.push_back(
            {std::string(name), OffsetOf(&element),
             std::string_view(element.name(), element.name_size()) == "app-icon"});
      },
      [&](const LayoutNode* node, const std::string& message) {
        violations_.push_back({OffsetOf(node), message});
        return true;
      });
  IndexElements();
}

std::size_t LayoutDocument::OffsetOf(const rapidxml::xml_node<char>* node) const {
  return StartTagOffset(node, buffer_.data());
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

}  // namespace

void LayoutDocument::IndexElements() {
  // Depth first, each element when it is reached: document order, the order of the offsets.
  struct Open {
    const LayoutNode* next;                                           // the child to index next
    std::size_t index;                                                // of the element itself
    std::unordered_map<std::string_view, std::pair<int, int>> names;  // children: count, seen
  };
  std::vector<Open> open;
  auto enter = [&](const LayoutNode* node, std::size_t index) {
    Open element{ElementFrom(node->first_node()), index, {}};
    for (const LayoutNode* c = element.next; c != nullptr; c = ElementFrom(c->next_sibling())) {
      ++element.names[{c->name(), c->name_size()}].first;
    }
    open.push_back(std::move(element));
  };
  // Every top-level element (the packager keeps them all), each by its name alone.
  for (const LayoutNode* top = ElementFrom(Root()); top != nullptr;
       top = ElementFrom(top->next_sibling())) {
    elements_.push_back({OffsetOf(top), kTop, std::string(top->name(), top->name_size())});
    enter(top, elements_.size() - 1);
    while (!open.empty()) {
      Open& parent = open.back();
      const LayoutNode* child = parent.next;
      if (child == nullptr) {
        open.pop_back();
        continue;
      }
      parent.next = ElementFrom(child->next_sibling());
      auto& [count, seen] = parent.names[{child->name(), child->name_size()}];
      std::string segment(child->name(), child->name_size());
      if (count > 1) segment += "[" + std::to_string(++seen) + "]";
      elements_.push_back({OffsetOf(child), parent.index, std::move(segment)});
      enter(child, elements_.size() - 1);
    }
  }
}

const std::string& LayoutDocument::Segment(const rapidxml::xml_node<char>* element) const {
  static const std::string kNone;
  const std::size_t offset = OffsetOf(element);
  const auto found =
      std::lower_bound(elements_.begin(), elements_.end(), offset,
                       [](const Element& e, std::size_t value) { return e.offset < value; });
  return found == elements_.end() || found->offset != offset ? kNone : found->segment;
}

std::string LayoutDocument::ElementPath(std::size_t offset) const {
  const auto after = std::upper_bound(
      elements_.begin(), elements_.end(), offset,
      [](std::size_t value, const Element& element) { return value < element.offset; });
  if (after == elements_.begin()) return "";
  auto at = static_cast<std::size_t>(after - elements_.begin()) - 1;
  // At an end tag, the element it closes: the nearest one open there with its name.
  if (text_.compare(offset, 2, "</") == 0) {
    const std::size_t end = text_.find_first_of(" \t\r\n>", offset + 2);
    const std::string_view name = std::string_view(text_).substr(offset + 2, end - offset - 2);
    for (std::size_t open = at; open != kTop; open = elements_[open].parent) {
      if (std::string_view(elements_[open].segment).substr(0, elements_[open].segment.find('[')) ==
          name) {
        at = open;
        break;
      }
    }
  }
  std::vector<std::size_t> chain;  // from the element up, the top element left out
  for (; elements_[at].parent != kTop; at = elements_[at].parent) chain.push_back(at);
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
    path += segment(i);
  }
  return path;
}

}  // namespace vantu::branding_package
