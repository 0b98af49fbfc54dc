#include "safe/safe_api.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

vantu_safe_api_handler_t g_mem_handler = vantu_safe_api_error_handler;
vantu_safe_api_handler_t g_str_handler = vantu_safe_api_error_handler;

void Report(vantu_safe_api_handler_t handler, const char* message, int code) {
  if (handler != nullptr) handler(message, nullptr, code);
}

// Clears the destination, then reports; the caller returns the code.
int Fail(void* dest, std::uint64_t dmax, const char* message, int code) {
  std::memset(dest, 0, static_cast<std::size_t>(dmax));
  Report(g_mem_handler, message, code);
  return code;
}

}  // namespace

void vantu_safe_api_error_handler(const char* message, void* /*context*/, std::int32_t error) {
  std::printf("%s: [%d] %s\n", "vantu_safe_api_error_handler", error, message);
}

vantu_safe_api_handler_t vantu_set_mem_handler(vantu_safe_api_handler_t handler) {
  vantu_safe_api_handler_t previous = g_mem_handler;
  g_mem_handler = handler;
  return previous;
}

vantu_safe_api_handler_t vantu_set_str_handler(vantu_safe_api_handler_t handler) {
  vantu_safe_api_handler_t previous = g_str_handler;
  g_str_handler = handler;
  return previous;
}

int vantu_memcpy_s(void* dest, std::uint64_t dmax, const void* src, std::uint64_t smax) {
  if (dest == nullptr) {
    Report(g_mem_handler, "vantu_memcpy_s: dest is NULL", SAFE_ERR_NULL_POINTER);
    return SAFE_ERR_NULL_POINTER;
  }
  if (smax == 0) return 0;
  if (smax > dmax) return Fail(dest, dmax, "vantu_memcpy_s: smax exceeds dmax", SAFE_ERR_TOO_LONG);
  if (src == nullptr) return Fail(dest, dmax, "vantu_memcpy_s: src is NULL", SAFE_ERR_NULL_POINTER);

  // Addresses as integers: comparing pointers into unrelated objects is undefined.
  const auto d = reinterpret_cast<std::uintptr_t>(dest);
  const auto s = reinterpret_cast<std::uintptr_t>(src);
  if ((s < d && d - s < smax) || (s > d && s - d < dmax)) {
    return Fail(dest, dmax, "vantu_memcpy_s: overlap undefined", SAFE_ERR_OVERLAP);
  }
  // Equal addresses are no overlap; the bytes are already in place.
  if (s != d) std::memcpy(dest, src, static_cast<std::size_t>(smax));
  return 0;
}

int vantu_sprintf_s(char* buffer, std::uint64_t n, const char* format, ...) {
  if (buffer == nullptr) {
    Report(g_str_handler, "vantu_sprintf_s: buffer is NULL", SAFE_ERR_NULL_POINTER);
    return -1;
  }
  if (n == 0) {
    Report(g_str_handler, "vantu_sprintf_s: buffer size n is less than or equal to zero",
           SAFE_ERR_ZERO_SIZE);
    return -1;
  }
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(buffer, static_cast<std::size_t>(n), format, args);
  va_end(args);
  const bool fits = needed >= 0 && static_cast<std::uint64_t>(needed) < n;
  if (!fits) Report(g_str_handler, "vantu_sprintf_s: not enough space", SAFE_ERR_NO_SPACE);
  buffer[n - 1] = '\0';
  return fits ? needed : -1;
}
