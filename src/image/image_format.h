// What an image file is, told by its first bytes, and what it is called in the package.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantu::branding_package {

// Image formats as an image record stores them.
constexpr std::uint32_t kFormatPng = 0;
constexpr std::uint32_t kFormatJpeg = 2;

// Fewest bytes an image file may have, JPEG included.
constexpr std::size_t kMinImageSize = 8;

// The stored image format (PNG 0, JPEG 2) of size bytes at data; none when the data is
// shorter than kMinImageSize or carries neither signature. JPEG is tested first.
std::optional<std::uint32_t> DetectImageFormat(const unsigned char* data, std::uint64_t size);

// "PNG", "JPEG", or the number of an unknown format.
std::string FormatName(std::uint32_t format);

// The format name's extension says (.png; .jpg or .jpeg; any case), or none.
std::optional<std::uint32_t> FormatOfExtension(std::string_view name);

// "png" or "jpeg": the format as JSON and data: URIs name it.
const char* FormatKey(std::uint32_t format);

// "WxH", a size in pixels as every message writes it.
std::string PixelSize(std::uint64_t width, std::uint64_t height);

// The last component of path: everything behind the last "/" or "\", or the whole path.
std::string_view ImageName(std::string_view path);

}  // namespace vantu::branding_package
