// The package's one integer encoding: unsigned 32-bit little-endian.
#pragma once

#include <cstdint>

namespace vantu::branding_package {

// Stores value little-endian at out[0..3].
inline void PutU32(unsigned char* out, std::uint32_t value) {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
  out[2] = static_cast<unsigned char>(value >> 16);
  out[3] = static_cast<unsigned char>(value >> 24);
}

// Reads a little-endian u32 from in[0..3].
inline std::uint32_t GetU32(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

}  // namespace vantu::branding_package
