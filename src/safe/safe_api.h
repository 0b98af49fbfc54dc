// Bounded copy and formatted print that report misuse to a handler instead of throwing.
#pragma once

#include <cstdint>

// A required pointer is null.
constexpr int SAFE_ERR_NULL_POINTER = 400;
// The buffer size is zero.
constexpr int SAFE_ERR_ZERO_SIZE = 401;
// More bytes are to be copied than the destination holds.
constexpr int SAFE_ERR_TOO_LONG = 403;
// Source and destination overlap.
constexpr int SAFE_ERR_OVERLAP = 404;
// The formatted text does not fit, or formatting failed.
constexpr int SAFE_ERR_NO_SPACE = 406;

// Receives a fault report: message, context (always null here) and error code.
using vantu_safe_api_handler_t = void (*)(const char* message, void* context, std::int32_t error);

// Default handler: prints "vantu_safe_api_error_handler: [code] message" on standard output.
void vantu_safe_api_error_handler(const char* message, void* context, std::int32_t error);

// Replaces the handler consulted by vantu_memcpy_s; returns the previous one.
vantu_safe_api_handler_t vantu_set_mem_handler(vantu_safe_api_handler_t handler);

// Replaces the handler consulted by vantu_sprintf_s; returns the previous one.
vantu_safe_api_handler_t vantu_set_str_handler(vantu_safe_api_handler_t handler);

// Copies smax bytes of src into dest of capacity dmax; 0 on success, else 400, 403 or 404
// with dest cleared (except for a null dest).
int vantu_memcpy_s(void* dest, std::uint64_t dmax, const void* src, std::uint64_t smax);

// Formats into buffer of n bytes; the text length when it fits, else -1.
int vantu_sprintf_s(char* buffer, std::uint64_t n, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
