#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <vector>

#include "base/ascii.h"
#include "image/image_format.h"
#include "inspect/lsp/lsp_features.h"
#include "layout/layout_grammar.h"
#include "layout/layout_vocabulary.h"

namespace vantu::branding_package {

namespace {

// The protocol's completion item kinds.
constexpr int kItemField = 5;
constexpr int kItemProperty = 10;
constexpr int kItemValue = 12;
constexpr int kItemFile = 17;

bool IsNameByte(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == ':' ||
         c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// What the text before the cursor leaves it writing.
struct Cursor {
  enum class Kind {
    kNone,
    kText,
    kElementName,
    kAttributeName,
    kAttributeValue
  } kind = Kind::kNone;
  std::string element;    // the element whose content or start tag the cursor is in
  std::string attribute;  // for a value: its attribute
  std::size_t start = 0;  // where the word being written starts
};

// Reads a start tag from its "<" at open up to offset, which it does not reach the end of.
Cursor InStartTag(std::string_view text, std::size_t open, std::size_t offset,
                  const std::string& parent) {
  std::size_t i = open + 1;
  while (i < offset && IsNameByte(text[i])) ++i;
  if (i == offset) return {Cursor::Kind::kElementName, parent, "", open + 1};
  const std::string element(text.substr(open + 1, i - open - 1));
  std::string attribute;
  while (i < offset) {
    if (std::isspace(static_cast<unsigned char>(text[i])) != 0) {
      ++i;
      continue;
    }
    if (IsNameByte(text[i])) {
      const std::size_t start = i;
      while (i < offset && IsNameByte(text[i])) ++i;
      if (i == offset) return {Cursor::Kind::kAttributeName, element, "", start};
      attribute = std::string(text.substr(start, i - start));
      continue;
    }
    if (text[i] == '"' || text[i] == '\'') {
      const std::size_t close = text.find(text[i], i + 1);
      if (close == std::string_view::npos || close >= offset) {
        return {Cursor::Kind::kAttributeValue, element, attribute, i + 1};
      }
      i = close + 1;
      continue;
    }
    ++i;  // "=", or a stray byte
  }
  return {Cursor::Kind::kAttributeName, element, "", offset};
}

// Where offset stands, read from the text before it with the open elements kept; text that
// does not parse is read as far as it goes.
Cursor CursorAt(std::string_view text, std::size_t offset) {
  std::vector<std::string> open;
  std::size_t i = 0;
  for (;;) {
    const std::size_t lt = text.find('<', i);
    if (lt == std::string_view::npos || lt >= offset) {
      const std::size_t start = text.find_first_not_of(" \t\r\n", i);
      return {Cursor::Kind::kText, open.empty() ? "" : open.back(), "",
              std::min(start == std::string_view::npos ? offset : start, offset)};
    }
    // Comments, CDATA, declarations and processing instructions hold no elements.
    for (const auto& [begin, end] : {std::pair<std::string_view, std::string_view>{"<!--", "-->"},
                                     {"<![CDATA[", "]]>"},
                                     {"<?", "?>"},
                                     {"<!", ">"}}) {
      if (text.compare(lt, begin.size(), begin) != 0) continue;
      const std::size_t close = text.find(end, lt + begin.size());
      if (close == std::string_view::npos || close + end.size() > offset) return {};
      i = close + end.size();
      break;
    }
    if (i > lt) continue;
    if (text.compare(lt, 2, "</") == 0) {
      const std::size_t close = text.find('>', lt);
      if (close == std::string_view::npos || close >= offset) return {};
      const std::string name(AsciiTrimmed(text.substr(lt + 2, close - lt - 2)));
      const auto match = std::find(open.rbegin(), open.rend(), name);
      if (match != open.rend()) open.erase(std::prev(match.base()), open.end());
      i = close + 1;
      continue;
    }
    // A start tag: its end, minding quoted values.
    std::size_t close = lt + 1;
    char quote = 0;
    for (; close < offset; ++close) {
      if (quote != 0) {
        if (text[close] == quote) quote = 0;
      } else if (text[close] == '"' || text[close] == '\'') {
        quote = text[close];
      } else if (text[close] == '>') {
        break;
      }
    }
    if (close >= offset) return InStartTag(text, lt, offset, open.empty() ? "" : open.back());
    std::size_t nameEnd = lt + 1;
    while (nameEnd < close && IsNameByte(text[nameEnd])) ++nameEnd;
    if (text[close - 1] != '/') open.emplace_back(text.substr(lt + 1, nameEnd - lt - 1));
    i = close + 1;
  }
}

// Where offset stands in a document that parses, read from its marks.
Cursor CursorInDocument(const LayoutDocument& document, std::size_t offset) {
  const auto& elements = document.Elements();
  const std::string_view text = document.Text();
  // The deepest element that holds offset: the last to start before it, or one around that.
  const auto after = std::lower_bound(
      elements.begin(), elements.end(), offset,
      [](const LayoutDocument::Element& e, std::size_t value) { return e.offset < value; });
  std::size_t at = LayoutDocument::kNone;
  if (after != elements.begin()) at = static_cast<std::size_t>(after - elements.begin()) - 1;
  while (at != LayoutDocument::kNone && offset >= elements[at].end) at = elements[at].parent;
  if (at == LayoutDocument::kNone) return {Cursor::Kind::kText, "", "", offset};
  const LayoutDocument::Element& element = elements[at];
  const std::string name(element.name);
  if (offset < element.tagEnd) {
    const std::size_t nameEnd = element.offset + 1 + element.name.size();
    if (offset <= nameEnd) {
      const std::size_t parent = element.parent;
      return {Cursor::Kind::kElementName,
              parent == LayoutDocument::kNone ? "" : std::string(elements[parent].name), "",
              element.offset + 1};
    }
    for (const LayoutDocument::Attribute& a : element.attributes) {
      if (a.written.begin <= offset && offset <= a.written.end) {
        return {Cursor::Kind::kAttributeValue, name, std::string(a.name), a.written.begin};
      }
    }
    std::size_t start = offset;
    while (start > nameEnd && IsNameByte(text[start - 1])) --start;
    return {Cursor::Kind::kAttributeName, name, "", start};
  }
  if (element.closeTag != LayoutDocument::kNone && offset > element.closeTag) return {};
  // In its content, a comment holds no elements; the word being written starts after the
  // last markup before offset.
  std::size_t from = element.tagEnd;
  const auto& comments = document.Comments();
  const auto comment = std::lower_bound(
      comments.begin(), comments.end(), offset,
      [](const LayoutDocument::Span& c, std::size_t value) { return c.begin < value; });
  if (comment != comments.begin()) {
    const LayoutDocument::Span& before = *std::prev(comment);
    if (offset < before.end) return {};
    from = std::max(from, before.end);
  }
  for (std::size_t child = at + 1;
       child < elements.size() && elements[child].parent == at && elements[child].offset < offset;
       child = elements[child].next) {
    from = std::max(from, elements[child].end);
  }
  const std::size_t start = text.find_first_not_of(" \t\r\n", from);
  return {Cursor::Kind::kText, name, "", std::min(start, offset)};
}

// The image files in folders, by name, each once.
std::set<std::string> ImageFiles(const std::vector<std::string>& folders) {
  std::set<std::string> names;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      std::error_code statError;
      if (FormatOfExtension(name) && it->is_regular_file(statError)) {
        names.insert(name);
      }
    }
  }
  return names;
}

}  // namespace

Json Completion(const Analysis& analysis, std::size_t offset) {
  const std::string& text = analysis.document->Text();
  const LayoutDocument& document = *analysis.document;
  // A text being typed often does not parse: then it is read as far as it goes.
  const Cursor cursor = document.SyntaxError()
                            ? CursorAt(text, std::min(offset, text.size()))
                            : CursorInDocument(document, std::min(offset, text.size()));
  const LayoutGrammar& grammar = SchemaGrammar();
  Json items = Json::array();
  const Json range = RangeOf(analysis, cursor.start, offset);
  auto add = [&](const std::string& label, int kind, const std::string& detail) {
    items.push_back({{"label", label},
                     {"kind", kind},
                     {"detail", detail},
                     {"textEdit", {{"range", range}, {"newText", label}}}});
  };
  const auto found = grammar.elements.find(cursor.element);
  switch (cursor.kind) {
    case Cursor::Kind::kElementName:
      for (const std::string& name :
           cursor.element.empty() ? grammar.tops
                                  : (found == grammar.elements.end() ? std::vector<std::string>{}
                                                                     : found->second.children)) {
        add(name, kItemProperty, "element");
      }
      break;
    case Cursor::Kind::kAttributeName:
      if (found != grammar.elements.end()) {
        for (const std::string& name : found->second.attributes) add(name, kItemField, "attribute");
      }
      break;
    case Cursor::Kind::kAttributeValue:
      if (cursor.attribute == vocabulary::kAlign) {
        for (const std::string_view value :
             {vocabulary::kLeft, vocabulary::kCenter, vocabulary::kRight}) {
          add(std::string(value), kItemValue, "align");
        }
      }
      break;
    case Cursor::Kind::kText:
      if (cursor.element == vocabulary::kAppIcon || cursor.element == vocabulary::kLogo) {
        for (const std::string& name : ImageFiles(analysis.folders)) add(name, kItemFile, "image");
      } else if (found != grammar.elements.end()) {
        // In content, the elements allowed there, whole, the "<" included.
        for (const std::string& name : found->second.children) {
          items.push_back(
              {{"label", name},
               {"kind", kItemProperty},
               {"detail", "element"},
               {"filterText", name},
               {"textEdit", {{"range", range}, {"newText", "<" + name + "></" + name + ">"}}}});
        }
      }
      break;
    case Cursor::Kind::kNone:
      break;
  }
  return {{"isIncomplete", false}, {"items", items}};
}

}  // namespace vantu::branding_package
