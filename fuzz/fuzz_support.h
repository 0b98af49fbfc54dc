// Shared pieces of the fuzz targets: a scratch directory and package invariants.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/component_wrapper.h"
#include "package/package_format.h"

namespace fuzz_support {

// A directory for the files a target writes, made once per process.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    std::string pattern = "/tmp/bp-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return dir;
}

// Aborts (so that the fuzzer reports it) when condition is false.
inline void Check(bool condition) {
  if (!condition) std::abort();
}

// The record's own size field agrees with the buffer size.
inline void CheckRecordHead(const cBP_COMPONENT_WRAPPER& record, std::uint32_t type) {
  Check(vantu::branding_package::GetU32(record.data.get()) == record.size);
  Check(vantu::branding_package::GetU32(record.data.get() + 4) == type);
}

}  // namespace fuzz_support
