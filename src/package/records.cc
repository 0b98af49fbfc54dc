#include "package/records.h"

#include <stdexcept>

#include "base/bp_exception.h"
#include "image/image_format.h"
#include "image/read_image.h"
#include "package/record_codec.h"
#include "safe/safe_api.h"

namespace vantu::branding_package {

namespace {

// Copies size bytes into dest of capacity room with the bounded copy; a refused copy is an
// internal fault.
void CopyInto(unsigned char* dest, std::uint64_t room, const void* src, std::uint64_t size) {
  if (vantu_memcpy_s(dest, room, src, size) != 0) throw std::logic_error("record copy refused");
}

}  // namespace

Record MakeLayoutRecord(const std::string& text) {
  const auto n = static_cast<std::uint32_t>(text.size());
  auto record =
      std::make_unique<cBP_COMPONENT_WRAPPER>(static_cast<std::uint32_t>(LayoutRecordSize(n)));
  unsigned char* out = record->data.get();
  EncodeLayoutHead(out, n);
  CopyInto(out + kLayoutHeadSize, record->size - kLayoutHeadSize, text.c_str(),
           std::uint64_t{n} + 1);
  return record;
}

Record MakeImageRecord(ByteSource& source, const std::string& imagePath) {
  const std::string_view name = ImageName(imagePath);
  const std::uint64_t d = source.Size();
  const std::uint64_t recordSize = ImageRecordSize(name.size(), d);
  if (recordSize > kMaxPackageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Image file too large for the package: " + imagePath);
  }
  // The content goes straight to its place in the record.
  auto record = std::make_unique<cBP_COMPONENT_WRAPPER>(static_cast<std::uint32_t>(recordSize));
  unsigned char* out = record->data.get();
  const std::size_t nameOffset = kImageHeadSize;
  const std::size_t contentOffset = nameOffset + name.size() + 1;
  const std::uint32_t format = ReadImage(source, out + contentOffset, imagePath);
  EncodeImageHead(out, format, static_cast<std::uint32_t>(name.size()),
                  static_cast<std::uint32_t>(d));
  CopyInto(out + nameOffset, record->size - nameOffset, name.data(), name.size());
  out[contentOffset - 1] = '\0';
  return record;
}

}  // namespace vantu::branding_package
