// Arbitrary bytes as an image file, from memory, into an image record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/bp_exception.h"
#include "fuzz_support.h"
#include "image/image_format.h"
#include "package/records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  bp::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  bp::Record record;
  try {
    record = bp::MakeImageRecord(source, "sub\\image.png");
  } catch (const cBP_EXCEPTION& e) {
    fuzz_support::Check(e.code == -503);
    return 0;
  }
  fuzz_support::CheckRecordHead(*record, bp::RecordType::kImage);
  const auto field = [&](std::size_t at) { return bp::ImageHeadField(record->data.get(), at); };
  fuzz_support::Check(size >= 8);
  fuzz_support::Check(field(bp::kImageFormatField) ==
                      (data[0] == 0xFF ? bp::kFormatJpeg : bp::kFormatPng));
  fuzz_support::Check(field(bp::kImageZeroField) == 0 && field(bp::kImageSecondZeroField) == 0);
  fuzz_support::Check(field(bp::kImageNameSizeField) == 10 &&
                      field(bp::kImageDataSizeField) == size);
  fuzz_support::Check(std::memcmp(record->data.get() + 28, "image.png", 10) == 0);
  fuzz_support::Check(std::memcmp(record->data.get() + 38, data, size) == 0);
  return 0;
}
