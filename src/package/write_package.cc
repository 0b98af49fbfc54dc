#include "package/write_package.h"

#include <cstdint>
#include <functional>

#include "base/bp_exception.h"
#include "base/bytes.h"
#include "base/output_file.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

namespace {

using Emit = std::function<void(const unsigned char* bytes, std::size_t size)>;

// Emits the header with a size field of 0, every record and the end record; the caller
// patches the size once the bytes are out.
void EmitPackage(const std::vector<Record>& records, const Emit& emit) {
  unsigned char header[kHeaderSize];
  EncodeHeader(header, 0);
  emit(header, sizeof header);
  for (const Record& record : records) emit(record->data.get(), record->size);
  unsigned char end[kEndRecordSize];
  EncodeEndRecord(end);
  emit(end, sizeof end);
}

}  // namespace

std::string EncodePackage(const std::vector<Record>& records) {
  std::string bytes;
  EmitPackage(records, [&](const unsigned char* data, std::size_t size) {
    bytes.append(reinterpret_cast<const char*>(data), size);
  });
  PutU32(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

void WritePackageFile(const std::string& path, const std::vector<Record>& records) {
  // Each record fits 32 bits on its own; together they may not.
  std::uint64_t packageSize = kHeaderSize + kEndRecordSize;
  for (const Record& record : records) packageSize += record->size;
  if (packageSize > kMaxPackageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Package larger than 4 GiB, cannot write Output file: " + path);
  }

  OutputFile file(path, true);
  if (!file.IsOpen()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Output file: " + path);
  EmitPackage(records, [&](const unsigned char* data, std::size_t size) { file.Write(data, size); });
  const std::uint64_t written = file.Position();
  file.PatchU32(0, static_cast<std::uint32_t>(written));
  if (!file.Commit() || written != packageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
  }
}

}  // namespace vantu::branding_package
