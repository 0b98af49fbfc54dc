#include "package/write_package.h"

#include <cstdint>
#include <functional>

#include "base/bp_exception.h"
#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/replaced_file.h"
#include "digest/sha256.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

namespace {

using Emit = std::function<void(const unsigned char* bytes, std::size_t size)>;

// The size of the package the records make.
std::uint64_t PackageSize(const std::vector<Record>& records) {
  std::uint64_t size = kHeaderSize + kEndRecordSize;
  for (const Record& record : records) size += record->size;
  return size;
}

// Emits the header with the package's size, every record and the end record: one pass
// forward, so a pipe or FIFO gets the same bytes as a file.
void EmitPackage(const std::vector<Record>& records, const Emit& emit) {
  unsigned char header[kHeaderSize];
  EncodeHeader(header, static_cast<std::uint32_t>(PackageSize(records)));
  emit(header, sizeof header);
  for (const Record& record : records) emit(record->data.get(), record->size);
  unsigned char end[kEndRecordSize];
  EncodeEndRecord(end);
  emit(end, sizeof end);
}

// The SHA-256 of file; throws -504 naming shownPath when a read fails.
std::string DigestOf(ByteSource& file, const std::string& shownPath) {
  std::optional<std::string> hash = Sha256Hex(file);
  if (!hash) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to read Branding Package file: " + shownPath);
  return *hash;
}

}  // namespace

std::string EncodePackage(const std::vector<Record>& records) {
  std::string bytes;
  EmitPackage(records, [&](const unsigned char* data, std::size_t size) {
    bytes.append(reinterpret_cast<const char*>(data), size);
  });
  return bytes;
}

std::optional<std::string> WritePackageFile(const std::string& path,
                                            const std::vector<Record>& records,
                                            const std::vector<FileId>& inputs) {
  // Each record fits 32 bits on its own; together they may not.
  const std::uint64_t packageSize = PackageSize(records);
  if (packageSize > kMaxPackageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE,
                        "Package larger than 4 GiB, cannot write Output file: " + path);
  }

  ReplacedFile output(path, Mode::kBinary, inputs);
  if (output.Failure() == OpenFailure::kIsInput) {
    throw cBP_OUTPUT_IS_INPUT(BP_ERR_FILE, kOutputIsInput + path);
  }
  if (!output.IsOpen()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Output file: " + path);
  output.Reserve(packageSize);
  OutputFile& file = output.File();
  EmitPackage(records,
              [&](const unsigned char* data, std::size_t size) { file.Write(data, size); });
  // A pipe has no position to check; a file must hold exactly the package.
  const bool whole = !output.Staged() || file.Position() == packageSize;
  if (!output.Close() || !whole) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
  }
  if (!output.Staged()) return std::nullopt;
  // The digest is of this build's own file: another build replacing the target meanwhile
  // cannot lend it its bytes.
  std::string hash = DigestOf(output.Written(), path);
  if (!output.Publish()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
  return hash;
}

std::string PackageFileHash(const std::string& path, const std::string& shownPath) {
  FileSource file(path);
  if (!file.IsOpen()) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Branding Package file: " + shownPath);
  }
  return DigestOf(file, shownPath);
}

}  // namespace vantu::branding_package
