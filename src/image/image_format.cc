#include "image/image_format.h"

#include <cctype>

#include <cstring>

namespace vantu::branding_package {

std::optional<std::uint32_t> DetectImageFormat(const unsigned char* data, std::uint64_t size) {
  static constexpr unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF};
  static constexpr unsigned char kPng[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  if (size < kMinImageSize) return std::nullopt;
  if (std::memcmp(data, kJpeg, sizeof kJpeg) == 0) return kFormatJpeg;
  if (std::memcmp(data, kPng, sizeof kPng) == 0) return kFormatPng;
  return std::nullopt;
}

std::string FormatName(std::uint32_t format) {
  return format == kFormatPng ? "PNG" : format == kFormatJpeg ? "JPEG" : std::to_string(format);
}

std::optional<std::uint32_t> FormatOfExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "png") return kFormatPng;
  if (extension == "jpg" || extension == "jpeg") return kFormatJpeg;
  return std::nullopt;
}

const char* FormatKey(std::uint32_t format) { return format == kFormatPng ? "png" : "jpeg"; }

std::string_view ImageName(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string PixelSize(std::uint64_t width, std::uint64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace vantu::branding_package
