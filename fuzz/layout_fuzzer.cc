// Arbitrary bytes as a layout document: parse, nesting guard, rules and printing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/bp_exception.h"
#include "fuzz_support.h"
#include "package/file_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  const std::string document(reinterpret_cast<const char*>(data), size);
  cBP_FILE_WRITER writer("unused.bin");
  try {
    writer.AddLayout(vantu::branding_package::LayoutDocument(document), "layout.xml");
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
