// Arbitrary bytes as a layout document: parse, nesting guard, the marks of its look ahead,
// rules and printing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bp_exception.h"
#include "fuzz_support.h"
#include "package/file_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  const std::string document(reinterpret_cast<const char*>(data), size);
  const bp::LayoutDocument parsed(document);
  // Every element marked where the parser put it: its start tag's ">" after its name, its end
  // tag, when it has one, an end tag within its parent's.
  for (const bp::LayoutDocument::Element& e : parsed.Elements()) {
    fuzz_support::Check(e.offset + e.name.size() < e.tagEnd && e.tagEnd <= e.end &&
                        e.end <= document.size() && document[e.tagEnd - 1] == '>' &&
                        document[e.end - 1] == '>');
    fuzz_support::Check(e.closeTag == bp::LayoutDocument::kNone
                            ? e.end == e.tagEnd && document[e.tagEnd - 2] == '/'
                            : e.closeTag >= e.tagEnd && document.compare(e.closeTag, 2, "</") == 0);
    if (e.parent != bp::LayoutDocument::kNone) {
      fuzz_support::Check(e.end <= parsed.Elements()[e.parent].closeTag);
    }
    for (const auto& a : e.attributes) {
      fuzz_support::Check(e.offset < a.written.begin && a.written.end < e.tagEnd);
    }
  }
  for (const auto& c : parsed.Comments()) {
    fuzz_support::Check(document.compare(c.begin, 4, "<!--") == 0 &&
                        document.compare(c.end - 3, 3, "-->") == 0);
  }
  cBP_FILE_WRITER writer("unused.bin");
  try {
    writer.AddLayout(bp::LayoutDocument(document), "layout.xml");
  } catch (const cBP_EXCEPTION& e) {
    fuzz_support::Check(e.code == -503 || e.code == -506);
    fuzz_support::Check(writer.components.empty());
    return 0;
  }
  fuzz_support::Check(writer.components.size() == 1);
  const cBP_COMPONENT_WRAPPER& record = *writer.components[0];
  fuzz_support::CheckRecordHead(record, bp::RecordType::kLayout);
  const bp::LayoutHead head = bp::DecodeLayoutHead(record.data.get());
  fuzz_support::Check(head.zero == 0 && head.textSize + 16 == record.size);
  fuzz_support::Check(record.data[record.size - 1] == 0);
  fuzz_support::Check(!writer.references.empty());
  return 0;
}
