#include "inspect/schema_check.h"

#include <memory>

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include "layout/layout_schema.h"

namespace vantu::branding_package {

namespace {

// The start column of node's start tag on its line, found in the text; 0 when not found.
int ColumnOf(const std::string& text, const xmlNode* node) {
  if (node == nullptr || node->type != XML_ELEMENT_NODE || node->line <= 0) return 0;
  std::size_t lineStart = 0;
  for (unsigned short line = 1; line < node->line; ++line) {
    lineStart = text.find('\n', lineStart);
    if (lineStart == std::string::npos) return 0;
    ++lineStart;
  }
  const std::string tag = "<" + std::string(reinterpret_cast<const char*>(node->name));
  const std::size_t lineEnd = text.find('\n', lineStart);
  const std::size_t at = text.find(tag, lineStart);
  if (at == std::string::npos || (lineEnd != std::string::npos && at > lineEnd)) return 0;
  return static_cast<int>(at - lineStart) + 1;
}

struct Collector {
  const std::string* text;
  std::vector<SchemaFinding> findings;
};

void Collect(void* context, xmlErrorPtr error) {
  auto* collector = static_cast<Collector*>(context);
  std::string message = error->message != nullptr ? error->message : "unknown problem";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  int column = error->int2;
  if (column == 0) column = ColumnOf(*collector->text, static_cast<const xmlNode*>(error->node));
  collector->findings.push_back({error->line, column, message});
}

struct SchemaDeleter {
  void operator()(xmlSchemaParserCtxt* p) const { xmlSchemaFreeParserCtxt(p); }
  void operator()(xmlSchema* p) const { xmlSchemaFree(p); }
  void operator()(xmlSchemaValidCtxt* p) const { xmlSchemaFreeValidCtxt(p); }
  void operator()(xmlParserCtxt* p) const { xmlFreeParserCtxt(p); }
  void operator()(xmlDoc* p) const { xmlFreeDoc(p); }
};

template <class T>
using Owned = std::unique_ptr<T, SchemaDeleter>;

}  // namespace

std::vector<SchemaFinding> CheckAgainstSchema(const std::string& text, const std::string& name) {
  Collector collector{&text, {}};
  Owned<xmlSchemaParserCtxt> schemaParser(xmlSchemaNewMemParserCtxt(
      XmlLayoutSchema.data(), static_cast<int>(XmlLayoutSchema.size())));
  Owned<xmlSchema> schema(schemaParser ? xmlSchemaParse(schemaParser.get()) : nullptr);
  Owned<xmlSchemaValidCtxt> validator(schema ? xmlSchemaNewValidCtxt(schema.get()) : nullptr);
  Owned<xmlParserCtxt> parser(xmlNewParserCtxt());
  if (!validator || !parser) return {{0, 0, "cannot set up the schema validator"}};
  xmlSetStructuredErrorFunc(&collector, Collect);
  Owned<xmlDoc> document(xmlCtxtReadMemory(parser.get(), text.data(), static_cast<int>(text.size()),
                                           name.c_str(), nullptr,
                                           XML_PARSE_NONET));
  if (document) {
    xmlSchemaSetValidStructuredErrors(validator.get(), Collect, &collector);
    xmlSchemaValidateDoc(validator.get(), document.get());
  }
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  return collector.findings;
}

}  // namespace vantu::branding_package
