#include "test_support.h"

#include <grp.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

int AsUser(unsigned uid, unsigned gid, const std::function<int()>& body) {
  if (geteuid() != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(125);
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 126;
  return WEXITSTATUS(status);
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

std::string ImageRecordBytes(const std::string& name, std::uint32_t format,
                             const std::string& data) {
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

namespace {

// A 2x1 PNG and a 3x2 JPEG, made on first use (tests build their cases during static
// initialisation); decoders stop at their end, so bytes behind them are ignored.
const std::string& SmallPng() {
  static const std::string bytes(
      "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00"
      "\x00\x01\x08\x02\x00\x00\x00\x7b\x40\xe8\xdd\x00\x00\x00\x0d\x49\x44\x41\x54\x78\x9c\x63"
      "\xf8\xcf\x00\x04\xff\x01\x07\x00\x01\xff\xe2\x23\x9e\x59\x00\x00\x00\x00\x49\x45\x4e\x44"
      "\xae\x42\x60\x82",
      70);
  return bytes;
}

const std::string& SmallJpeg() {
  static const std::string bytes(
      "\xff\xd8\xff\xe0\x00\x10\x4a\x46\x49\x46\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00\xff\xdb"
      "\x00\x43\x00\x10\x0b\x0c\x0e\x0c\x0a\x10\x0e\x0d\x0e\x12\x11\x10\x13\x18\x28\x1a\x18\x16"
      "\x16\x18\x31\x23\x25\x1d\x28\x3a\x33\x3d\x3c\x39\x33\x38\x37\x40\x48\x5c\x4e\x40\x44\x57"
      "\x45\x37\x38\x50\x6d\x51\x57\x5f\x62\x67\x68\x67\x3e\x4d\x71\x79\x70\x64\x78\x5c\x65\x67"
      "\x63\xff\xc0\x00\x0b\x08\x00\x02\x00\x03\x01\x01\x11\x00\xff\xc4\x00\x14\x00\x01\x00\x00"
      "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x06\xff\xc4\x00\x1a\x10\x00\x00\x07"
      "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x05\x06\x36\x73\xb1\xff\xda"
      "\x00\x08\x01\x01\x00\x00\x3f\x00\x50\xd1\x8b\xa7\x54\x5a\x3f\xff\xd9",
      171);
  return bytes;
}

// The small image padded to size, or, for fewer bytes, only its signature and a pattern.
std::string Image(const std::string& small, std::size_t signature, std::size_t size) {
  if (size < small.size()) return Signed(small.substr(0, signature), size);
  return small + Signed("", size - small.size());
}

}  // namespace

std::string PngBytes(std::size_t size) { return Image(SmallPng(), 8, size); }

std::string JpegBytes(std::size_t size) { return Image(SmallJpeg(), 3, size); }

std::string PngOfSize(std::uint32_t width, std::uint32_t height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_GRAY;
  const std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height, 0x80);
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
  std::string bytes(size, '\0');
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr)) {
    throw std::runtime_error(std::string("cannot write a PNG: ") + image.message);
  }
  bytes.resize(size);
  return bytes;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string WholeSecondDisk(const TempDir& dir) {
  const std::string disk = dir / "disk";
  const std::string image = dir / "image";
  const std::string mount = "mkdir -m 0755 " + disk + " && truncate -s 4M " + image +
                            " && mkfs.ext4 -q -F -I 128 " + image +
                            " 2>/dev/null && mount -o loop " + image + " " + disk + " 2>/dev/null";
  if (geteuid() != 0 || std::system(mount.c_str()) != 0) return "";
  return disk;
}

std::string FullExt2(const TempDir& dir, const std::string& old) {
  const std::string disk = dir / "disk";
  const std::string image = dir / "image";
  const std::string mount = "mkdir -m 0755 " + disk + " && truncate -s 1M " + image +
                            " && mkfs.ext2 -q -F -m 0 " + image + " && mount -o loop " + image +
                            " " + disk;
  if (geteuid() != 0 || chmod(dir.path().c_str(), 0755) != 0 || std::system(mount.c_str()) != 0) {
    return "";
  }
  WriteFile(disk + "/out", old);
  const std::string fill = "chmod 0666 " + disk + "/out && ln " + disk + "/out " + disk +
                           "/second && (dd if=/dev/zero of=" + disk +
                           "/fill bs=1k 2>/dev/null; truncate -s -4K " + disk + "/fill)";
  EXPECT_EQ(std::system(fill.c_str()), 0);
  return disk;
}

}  // namespace testing_support
