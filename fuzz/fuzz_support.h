// Shared pieces of the fuzz targets: invariant checks on records.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "package/component_wrapper.h"
#include "package/record_codec.h"

namespace fuzz_support {

// Aborts (so that the fuzzer reports it) when condition is false.
inline void Check(bool condition) {
  if (!condition) std::abort();
}

// The record's own size field agrees with the buffer size, and its type is type.
inline void CheckRecordHead(const cBP_COMPONENT_WRAPPER& record,
                            vantu::branding_package::RecordType type) {
  const auto head = vantu::branding_package::DecodeRecordHead(record.data.get());
  Check(head.size == record.size);
  Check(head.type == static_cast<std::uint32_t>(type));
}

}  // namespace fuzz_support
