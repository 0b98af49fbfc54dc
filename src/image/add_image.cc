#include <cstdint>
#include <string>

#include "app/bp_exception.h"
#include "image/image_format.h"
#include "package/file_writer.h"
#include "package/input_file.h"
#include "package/package_format.h"
#include "safe/safe_api.h"

namespace bp = vantu::branding_package;

void cBP_FILE_WRITER::AddImage(const std::string& imagePath) {
  bp::InputFile file(imagePath);
  if (!file.IsOpen()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Image file: " + imagePath);

  const std::string name(bp::ImageName(imagePath));
  const std::uint64_t d = file.Size();
  const std::uint64_t recordSize = bp::kImageHeadSize + name.size() + 1 + d;
  if (recordSize > bp::kMaxPackageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Image file too large for the package: " + imagePath);
  }

  // The content goes straight to its place in the record; the record is kept only once
  // every check has passed.
  auto record = std::make_unique<cBP_COMPONENT_WRAPPER>(static_cast<std::uint32_t>(recordSize));
  unsigned char* out = record->data.get();
  const std::size_t contentOffset = bp::kImageHeadSize + name.size() + 1;
  if (!file.ReadAll(out + contentOffset, d)) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to read Image file: " + imagePath);
  }
  const auto format = bp::DetectImageFormat(out + contentOffset, d);
  if (!format) throw cBP_EXCEPTION(BP_ERR_MALFORMED, "Invalid Image type. Must be PNG or JPEG");

  resources.push_back(name);

  unsigned char head[bp::kImageHeadSize];
  bp::PutU32(head, record->size);
  bp::PutU32(head + 4, bp::kImageRecord);
  bp::PutU32(head + 8, *format);
  bp::PutU32(head + 12, 0);
  bp::PutU32(head + 16, static_cast<std::uint32_t>(name.size() + 1));
  bp::PutU32(head + 20, 0);
  bp::PutU32(head + 24, static_cast<std::uint32_t>(d));
  vantu_memcpy_s(out, record->size, head, sizeof head);
  vantu_memcpy_s(out + sizeof head, record->size - sizeof head, name.c_str(), name.size() + 1);
  components.push_back(std::move(record));
}
