// Constants and field helpers of the package file: every integer is u32 little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantu::branding_package {

// Record types.
constexpr std::uint32_t kLayoutRecord = 1;
constexpr std::uint32_t kImageRecord = 2;
constexpr std::uint32_t kEndRecord = 3;

// Image formats stored in an image record.
constexpr std::uint32_t kFormatPng = 0;
constexpr std::uint32_t kFormatJpeg = 2;

// Package header: size (patched last), then the constants 0 and 1.
constexpr std::size_t kHeaderSize = 12;
// Fixed fields ahead of the layout text: size, type, 0, text size.
constexpr std::size_t kLayoutHeadSize = 16;
// Fixed fields ahead of the image name: size, type, format, 0, name size, 0, data size.
constexpr std::size_t kImageHeadSize = 28;
// End record: size 8, type 3.
constexpr std::size_t kEndRecordSize = 8;
// Largest size any record or the whole package may have.
constexpr std::uint64_t kMaxPackageSize = UINT32_MAX;

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
