// A whole build from arbitrary layouts and images into a package file, then its digest.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "app/bp_exception.h"
#include "fuzz_support.h"
#include "package/file_writer.h"
#include "package/package_format.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  fuzz_support::Check(file != nullptr);
  fuzz_support::Check(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
  fuzz_support::Check(std::fclose(file) == 0);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  fuzz_support::Check(file != nullptr);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.append(buffer, got);
  }
  std::fclose(file);
  return bytes;
}

// Walks the package: header, records summing up to the size, one end record last.
void CheckPackage(const std::string& package, std::size_t records) {
  namespace bp = vantu::branding_package;
  const auto* bytes = reinterpret_cast<const unsigned char*>(package.data());
  fuzz_support::Check(package.size() >= 20 && bp::GetU32(bytes) == package.size());
  fuzz_support::Check(bp::GetU32(bytes + 4) == 0 && bp::GetU32(bytes + 8) == 1);
  std::size_t offset = 12;
  for (std::size_t i = 0; i < records; ++i) {
    const std::uint32_t size = bp::GetU32(bytes + offset);
    fuzz_support::Check(bp::GetU32(bytes + offset + 4) == (i == 0 ? 1u : 2u));
    offset += size;
    fuzz_support::Check(offset + 8 <= package.size());
  }
  fuzz_support::Check(offset + 8 == package.size());
  fuzz_support::Check(bp::GetU32(bytes + offset) == 8 && bp::GetU32(bytes + offset + 4) == 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kNames[] = {"icon.png", "logo.jpg", "b\\icon.png", "logo.png"};
  FuzzedDataProvider provider(data, size);
  const std::string& dir = fuzz_support::ScratchDir();
  const std::size_t imageCount = provider.ConsumeIntegralInRange<std::size_t>(0, 3);
  std::vector<std::string> images;
  for (std::size_t i = 0; i < imageCount; ++i) {
    const std::string name = provider.PickValueInArray(kNames);
    const std::string path = dir + "/" + std::to_string(i) + "-" + name;
    std::string content = provider.ConsumeBool() ? "\x89PNG\r\n\x1a\n" : "\xFF\xD8\xFF";
    content += provider.ConsumeRandomLengthString(64);
    WriteFile(path, content);
    images.push_back(path);
  }
  WriteFile(dir + "/layout.xml", provider.ConsumeRemainingBytesAsString());

  const std::string output = dir + "/out.bin";
  std::remove(output.c_str());
  cBP_FILE_WRITER writer(output);
  try {
    writer.LoadLayout(dir + "/layout.xml");
    for (const std::string& image : images) writer.AddImage(image);
    writer.WritePackage();
  } catch (const cBP_EXCEPTION& e) {
    fuzz_support::Check(e.code <= -502 && e.code >= -506);
    return 0;
  }
  CheckPackage(ReadFile(output), 1 + images.size());
  fuzz_support::Check(writer.GetPackageHash().size() == 64);
  return 0;
}
