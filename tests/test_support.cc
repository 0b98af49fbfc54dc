#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/bp-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string ShrinkingFile() {
  for (const char* path : {"/sys/kernel/mm/transparent_hugepage/enabled",
                           "/sys/kernel/address_bits", "/sys/kernel/uevent_seqnum"}) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > 0 && ReadFile(path).size() < size) return path;
  }
  return "";
}

std::string U32(std::uint32_t v) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  return bytes;
}

std::string LayoutRecordBytes(const std::string& text) {
  const auto n = static_cast<std::uint32_t>(text.size());
  return U32(n + 17) + U32(1) + U32(0) + U32(n + 1) + text + '\0';
}

std::string ImageRecordBytes(const std::string& name, std::uint32_t format, const std::string& data) {
  const auto m = static_cast<std::uint32_t>(name.size());
  const auto d = static_cast<std::uint32_t>(data.size());
  return U32(m + d + 29) + U32(2) + U32(format) + U32(0) + U32(m + 1) + U32(0) + U32(d) + name +
         '\0' + data;
}

std::string PackageBytes(const std::vector<std::string>& records) {
  std::string body;
  for (const std::string& record : records) body += record;
  return U32(static_cast<std::uint32_t>(body.size() + 20)) + U32(0) + U32(1) + body + U32(8) +
         U32(3);
}

namespace {

std::string Signed(const std::string& signature, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = i < signature.size() ? signature[i] : static_cast<char>(i * 7 + 3);
  }
  return bytes;
}

}  // namespace

std::string PngBytes(std::size_t size) {
  return Signed(std::string("\x89PNG\r\n\x1a\n", 8), size);
}

std::string JpegBytes(std::size_t size) { return Signed(std::string("\xFF\xD8\xFF", 3), size); }

}  // namespace testing_support
