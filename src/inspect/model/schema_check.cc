#include "inspect/model/schema_check.h"

#include <algorithm>
#include <climits>
#include <memory>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include "base/line_index.h"
#include "base/shared_library.h"
#include "layout/layout_schema.h"

namespace vantu::branding_package {

namespace {

// libxml2, opened on first use: loading it, with the ICU it brings, costs more than a whole
// build of a typical package, which needs no schema check.
struct Xml {
  decltype(&::xmlByteConsumed) byteConsumed = nullptr;
  decltype(&::xmlCtxtReadMemory) ctxtReadMemory = nullptr;
  decltype(&::xmlFreeDoc) freeDoc = nullptr;
  decltype(&::xmlFreeEnumeration) freeEnumeration = nullptr;
  decltype(&::xmlFreeParserCtxt) freeParserCtxt = nullptr;
  decltype(&::xmlNewParserCtxt) newParserCtxt = nullptr;
  decltype(&::xmlSAX2StartElementNs) saxStartElementNs = nullptr;
  decltype(&::xmlSchemaFree) schemaFree = nullptr;
  decltype(&::xmlSchemaFreeParserCtxt) schemaFreeParserCtxt = nullptr;
  decltype(&::xmlSchemaFreeValidCtxt) schemaFreeValidCtxt = nullptr;
  decltype(&::xmlSchemaNewMemParserCtxt) schemaNewMemParserCtxt = nullptr;
  decltype(&::xmlSchemaNewValidCtxt) schemaNewValidCtxt = nullptr;
  decltype(&::xmlSchemaParse) schemaParse = nullptr;
  decltype(&::xmlSchemaSetValidStructuredErrors) schemaSetValidStructuredErrors = nullptr;
  decltype(&::xmlSchemaValidateDoc) schemaValidateDoc = nullptr;
  decltype(&::xmlSetStructuredErrorFunc) setStructuredErrorFunc = nullptr;
  decltype(&::xmlStopParser) stopParser = nullptr;
};

// The library's functions; null when it cannot be loaded.
const Xml* Library() {
  static const Xml* const loaded = [] {
    static Xml xml;
    static SharedLibrary library("libxml2.so.2");
    library.Find("xmlByteConsumed", xml.byteConsumed);
    library.Find("xmlCtxtReadMemory", xml.ctxtReadMemory);
    library.Find("xmlFreeDoc", xml.freeDoc);
    library.Find("xmlFreeEnumeration", xml.freeEnumeration);
    library.Find("xmlFreeParserCtxt", xml.freeParserCtxt);
    library.Find("xmlNewParserCtxt", xml.newParserCtxt);
    library.Find("xmlSAX2StartElementNs", xml.saxStartElementNs);
    library.Find("xmlSchemaFree", xml.schemaFree);
    library.Find("xmlSchemaFreeParserCtxt", xml.schemaFreeParserCtxt);
    library.Find("xmlSchemaFreeValidCtxt", xml.schemaFreeValidCtxt);
    library.Find("xmlSchemaNewMemParserCtxt", xml.schemaNewMemParserCtxt);
    library.Find("xmlSchemaNewValidCtxt", xml.schemaNewValidCtxt);
    library.Find("xmlSchemaParse", xml.schemaParse);
    library.Find("xmlSchemaSetValidStructuredErrors", xml.schemaSetValidStructuredErrors);
    library.Find("xmlSchemaValidateDoc", xml.schemaValidateDoc);
    library.Find("xmlSetStructuredErrorFunc", xml.setStructuredErrorFunc);
    library.Find("xmlStopParser", xml.stopParser);
    return library.Complete() ? static_cast<const Xml*>(&xml) : nullptr;
  }();
  return loaded;
}

struct Collector {
  std::string_view text;
  LineIndex lines;
  std::vector<SchemaFinding> findings;
  std::size_t dropped = 0;
};

// libxml2 keeps only an element's line: where its start tag begins is kept with the node, so
// a finding about it is placed on it, not on the first element of its name.
void StartElement(void* context, const xmlChar* localname, const xmlChar* prefix,
                  const xmlChar* uri, int namespaceCount, const xmlChar** namespaces,
                  int attributeCount, int defaultedCount, const xmlChar** attributes) {
  Library()->saxStartElementNs(context, localname, prefix, uri, namespaceCount, namespaces,
                               attributeCount, defaultedCount, attributes);
  auto* parser = static_cast<xmlParserCtxt*>(context);
  const auto* collector = static_cast<const Collector*>(parser->_private);
  const long consumed = Library()->byteConsumed(parser);
  if (parser->node == nullptr || consumed <= 0) return;
  // The parser stands inside or behind the start tag; no '<' comes between.
  const std::size_t end = std::min(static_cast<std::size_t>(consumed), collector->text.size());
  const std::size_t start = collector->text.rfind('<', end - 1);
  if (start != std::string_view::npos) {
    // The node points at its '<' in the text; the text outlives the document.
    parser->node->_private = const_cast<char*>(collector->text.data() + start);
  }
}

// The schema library's wording where it speaks of its own internals; empty drops the finding
// (it only follows another).
std::string Worded(const std::string& message) {
  if (message.rfind("Internal error", 0) == 0) return "";
  // lint's own check names the first byte that is not UTF-8.
  if (message.rfind("Input is not proper UTF-8", 0) == 0) return "";
  if (message == "xmlParseEntityRef: no name") {
    return "'&' starts no entity or character reference; write &amp; for the character";
  }
  const std::string charRef = "xmlParseCharRef: invalid xmlChar value ";
  if (message.rfind(charRef, 0) == 0) {
    return "the character reference to code point " + message.substr(charRef.size()) +
           " names a character XML does not allow";
  }
  // Other parser messages start with the name of the library's function that raised them.
  if (message.rfind("xml", 0) == 0) {
    const std::size_t colon = message.find(": ");
    if (colon != std::string::npos &&
        message.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") ==
            colon) {
      return message.substr(colon + 2);
    }
  }
  return message;
}

void Collect(void* context, xmlErrorPtr error) {
  auto* collector = static_cast<Collector*>(context);
  // Past the cap only the count is kept: a hostile file cannot make the report huge.
  if (collector->findings.size() >= kMaxSchemaFindings) {
    ++collector->dropped;
    return;
  }
  std::string message = error->message != nullptr ? error->message : "unknown problem";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  message = Worded(message);
  if (message.empty()) return;
  std::optional<std::size_t> at;
  const auto* node = static_cast<const xmlNode*>(error->node);
  if (error->int2 == 0 && node != nullptr && node->type == XML_ELEMENT_NODE &&
      node->_private != nullptr) {
    at =
        static_cast<std::size_t>(static_cast<const char*>(node->_private) - collector->text.data());
  } else if (error->line > 0) {
    at = collector->lines.Offset(error->line, error->int2);
  }
  collector->findings.push_back({at, message});
}

// The DOCTYPE's declarations are the packager's to ignore, the schema library's to honour: a
// declared entity would be expanded by the library alone (nested ones grow exponentially), an
// attribute default added to every element (namespace defaults cost the square of the text).
// The first declaration stops the parse, before anything it declares is used.
void RefuseDeclaration(void* context, const std::string& what, const xmlChar* name) {
  auto* parser = static_cast<xmlParserCtxt*>(context);
  auto* collector = static_cast<Collector*>(parser->_private);
  if (parser->disableSAX != 0) return;
  const int line = parser->input != nullptr ? parser->input->line : 0;
  // The parser stands behind the declaration; the finding goes where it starts.
  const int end = parser->input != nullptr ? parser->input->col : 1;
  const std::string_view text = collector->lines.Line(line);
  const std::size_t start = text.rfind("<!", static_cast<std::size_t>(std::max(end - 1, 0)));
  const int column = start == std::string_view::npos ? 1 : static_cast<int>(start) + 1;
  collector->findings.push_back({collector->lines.Offset(line, column),
                                 "the DOCTYPE declares " + what + " '" +
                                     std::string(reinterpret_cast<const char*>(name)) +
                                     "'; the packager ignores the DOCTYPE's declarations, so "
                                     "the schema was not checked",
                                 FindingId::kEntityDeclaration});
  Library()->stopParser(parser);
}

void RefuseEntity(void* context, const xmlChar* name, int /*type*/, const xmlChar* /*publicId*/,
                  const xmlChar* /*systemId*/, xmlChar* /*content*/) {
  RefuseDeclaration(context, "entity", name);
}

void RefuseAttribute(void* context, const xmlChar* element, const xmlChar* name, int /*type*/,
                     int /*def*/, const xmlChar* /*defaultValue*/, xmlEnumerationPtr tree) {
  Library()->freeEnumeration(tree);  // the handler owns it
  RefuseDeclaration(
      context, "attribute '" + std::string(reinterpret_cast<const char*>(name)) + "' of element",
      element);
}

void RefuseElement(void* context, const xmlChar* name, int /*type*/,
                   xmlElementContentPtr /*content*/) {
  RefuseDeclaration(context, "element", name);
}

void RefuseNotation(void* context, const xmlChar* name, const xmlChar* /*publicId*/,
                    const xmlChar* /*systemId*/) {
  RefuseDeclaration(context, "notation", name);
}

void RefuseUnparsedEntity(void* context, const xmlChar* name, const xmlChar* /*publicId*/,
                          const xmlChar* /*systemId*/, const xmlChar* /*notation*/) {
  RefuseDeclaration(context, "entity", name);
}

struct SchemaDeleter {
  void operator()(xmlSchemaParserCtxt* p) const { Library()->schemaFreeParserCtxt(p); }
  void operator()(xmlSchema* p) const { Library()->schemaFree(p); }
  void operator()(xmlSchemaValidCtxt* p) const { Library()->schemaFreeValidCtxt(p); }
  void operator()(xmlParserCtxt* p) const { Library()->freeParserCtxt(p); }
  void operator()(xmlDoc* p) const { Library()->freeDoc(p); }
};

template <class T>
using Owned = std::unique_ptr<T, SchemaDeleter>;

}  // namespace

std::vector<SchemaFinding> CheckAgainstSchema(const std::string& text, const std::string& name) {
  if (Library() == nullptr) {
    return {{std::nullopt, "cannot load libxml2 for the schema check", FindingId::kSchemaSkipped}};
  }
  Collector collector{text, LineIndex(text), {}, 0};
  Owned<xmlSchemaParserCtxt> schemaParser(Library()->schemaNewMemParserCtxt(
      XmlLayoutSchema.data(), static_cast<int>(XmlLayoutSchema.size())));
  Owned<xmlSchema> schema(schemaParser ? Library()->schemaParse(schemaParser.get()) : nullptr);
  Owned<xmlSchemaValidCtxt> validator(schema ? Library()->schemaNewValidCtxt(schema.get())
                                             : nullptr);
  Owned<xmlParserCtxt> parser(Library()->newParserCtxt());
  if (!validator || !parser)
    return {{std::nullopt, "cannot set up the schema validator", FindingId::kSchemaSkipped}};
  parser->_private = &collector;
  parser->sax->startElementNs = StartElement;
  parser->sax->entityDecl = RefuseEntity;
  parser->sax->attributeDecl = RefuseAttribute;
  parser->sax->elementDecl = RefuseElement;
  parser->sax->notationDecl = RefuseNotation;
  parser->sax->unparsedEntityDecl = RefuseUnparsedEntity;
  Library()->setStructuredErrorFunc(&collector, Collect);
  Owned<xmlDoc> document(Library()->ctxtReadMemory(
      parser.get(), text.data(), static_cast<int>(text.size()), name.c_str(), nullptr,
      // Depth is bounded by the packager's parse; lines
      // past 65535 keep their numbers.
      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_BIG_LINES));
  if (document && parser->errNo != XML_ERR_USER_STOP) {
    Library()->schemaSetValidStructuredErrors(validator.get(), Collect, &collector);
    Library()->schemaValidateDoc(validator.get(), document.get());
  }
  Library()->setStructuredErrorFunc(nullptr, nullptr);
  if (collector.dropped > 0) {
    collector.findings.push_back(
        {std::nullopt, std::to_string(collector.dropped) + " more schema findings not shown",
         FindingId::kSchemaCapped});
  }
  return collector.findings;
}

}  // namespace vantu::branding_package
