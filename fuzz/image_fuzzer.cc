// Arbitrary bytes as an image file through AddImage.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/bp_exception.h"
#include "fuzz_support.h"
#include "package/file_writer.h"
#include "package/package_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  const std::string path = fuzz_support::ScratchDir() + "/sub\\image.png";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  fuzz_support::Check(file != nullptr);
  fuzz_support::Check(size == 0 || std::fwrite(data, 1, size, file) == size);
  fuzz_support::Check(std::fclose(file) == 0);

  cBP_FILE_WRITER writer("unused.bin");
  try {
    writer.AddImage(path);
  } catch (const cBP_EXCEPTION& e) {
    fuzz_support::Check(e.code == -503);
    fuzz_support::Check(writer.components.empty() && writer.resources.empty());
    return 0;
  }
  fuzz_support::Check(writer.resources.size() == 1 && writer.resources[0] == "image.png");
  const cBP_COMPONENT_WRAPPER& record = *writer.components.at(0);
  fuzz_support::CheckRecordHead(record, bp::kImageRecord);
  const std::uint32_t format = bp::GetU32(record.data.get() + 8);
  fuzz_support::Check(size >= 8);
  fuzz_support::Check(format == (data[0] == 0xFF ? bp::kFormatJpeg : bp::kFormatPng));
  fuzz_support::Check(bp::GetU32(record.data.get() + 16) == 10);
  fuzz_support::Check(bp::GetU32(record.data.get() + 24) == size);
  fuzz_support::Check(std::memcmp(record.data.get() + 28, "image.png", 10) == 0);
  fuzz_support::Check(std::memcmp(record.data.get() + 38, data, size) == 0);
  return 0;
}
