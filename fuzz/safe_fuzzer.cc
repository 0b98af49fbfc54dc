// The bounded routines' contract: nothing written past dmax (or n), the destination
// cleared on a fault, the bytes copied on success.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "safe/safe_api.h"

namespace {

void Quiet(const char*, void*, std::int32_t) {}

constexpr std::size_t kArena = 256;

void FuzzMemcpy(FuzzedDataProvider& provider) {
  unsigned char arena[kArena];
  provider.ConsumeData(arena, sizeof arena);
  unsigned char before[kArena];
  std::memcpy(before, arena, sizeof arena);

  const auto destOffset = provider.ConsumeIntegralInRange<std::size_t>(0, kArena);
  const auto dmax = provider.ConsumeIntegralInRange<std::size_t>(0, kArena - destOffset);
  const auto srcOffset = provider.ConsumeIntegralInRange<std::size_t>(0, kArena);
  const auto smax = provider.ConsumeIntegralInRange<std::size_t>(0, kArena - srcOffset);
  const bool nullSource = provider.ConsumeBool() && provider.ConsumeBool();
  const unsigned char* src = nullSource ? nullptr : arena + srcOffset;

  const int result = vantu_memcpy_s(arena + destOffset, dmax, src, smax);

  for (std::size_t i = 0; i < kArena; ++i) {
    if (i < destOffset || i >= destOffset + dmax) fuzz_support::Check(arena[i] == before[i]);
  }
  const bool overlap = !nullSource && ((srcOffset < destOffset && destOffset - srcOffset < smax) ||
                                       (srcOffset > destOffset && srcOffset - destOffset < dmax));
  int expected = 0;
  if (smax == 0) {
    expected = 0;
  } else if (smax > dmax) {
    expected = SAFE_ERR_TOO_LONG;
  } else if (nullSource) {
    expected = SAFE_ERR_NULL_POINTER;
  } else if (overlap) {
    expected = SAFE_ERR_OVERLAP;
  }
  fuzz_support::Check(result == expected);
  if (result != 0) {
    for (std::size_t i = 0; i < dmax; ++i) fuzz_support::Check(arena[destOffset + i] == 0);
  } else if (smax > 0) {
    fuzz_support::Check(std::memcmp(arena + destOffset, before + srcOffset, smax) == 0);
    for (std::size_t i = smax; i < dmax; ++i) {
      fuzz_support::Check(arena[destOffset + i] == before[destOffset + i]);
    }
  }
}

void FuzzSprintf(FuzzedDataProvider& provider) {
  char buffer[64];
  std::memset(buffer, 0x5A, sizeof buffer);
  const auto n = provider.ConsumeIntegralInRange<std::size_t>(0, 48);
  const std::string text = provider.ConsumeRandomLengthString(60);
  const unsigned value = provider.ConsumeIntegral<unsigned>();
  const bool hex = provider.ConsumeBool();
  const int result = hex ? vantu_sprintf_s(buffer, n, "%02x", value)
                         : vantu_sprintf_s(buffer, n, "%s", text.c_str());
  for (std::size_t i = n; i < sizeof buffer; ++i) fuzz_support::Check(buffer[i] == 0x5A);
  if (n == 0) {
    fuzz_support::Check(result == -1);
    return;
  }
  fuzz_support::Check(buffer[n - 1] == '\0');
  char full[128];
  const int needed = hex ? std::snprintf(full, sizeof full, "%02x", value)
                         : std::snprintf(full, sizeof full, "%s", text.c_str());
  if (static_cast<std::size_t>(needed) < n) {
    fuzz_support::Check(result == needed && std::strcmp(buffer, full) == 0);
  } else {
    fuzz_support::Check(result == -1 && std::strncmp(buffer, full, n - 1) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    vantu_set_mem_handler(Quiet);
    vantu_set_str_handler(Quiet);
    return true;
  }();
  (void)quiet;
  FuzzedDataProvider provider(data, size);
  if (provider.ConsumeBool()) {
    FuzzMemcpy(provider);
  } else {
    FuzzSprintf(provider);
  }
  return 0;
}
