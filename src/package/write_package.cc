#include "package/write_package.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

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

// The SHA-256 of the package records make.
std::string PackageDigest(const std::vector<Record>& records) {
  Sha256Digest digest;
  EmitPackage(records,
              [&](const unsigned char* data, std::size_t size) { digest.Update(data, size); });
  return digest.Hex();
}

// Below this size a second thread costs more than the hash it would overlap.
constexpr std::uint64_t kDigestAloneFrom = std::uint64_t{4} << 20;

// The SHA-256 of the package records make, taken in a thread of its own for a large one,
// else when it is asked for.
class BackgroundDigest {
 public:
  BackgroundDigest(const std::vector<Record>& records, std::uint64_t size) : records_(records) {
    if (size < kDigestAloneFrom) return;
    thread_ = std::thread([this] {
      try {
        hash_ = PackageDigest(records_);
      } catch (...) {
        failure_ = std::current_exception();
      }
    });
  }
  ~BackgroundDigest() {
    if (thread_.joinable()) thread_.join();
  }
  BackgroundDigest(const BackgroundDigest&) = delete;
  BackgroundDigest& operator=(const BackgroundDigest&) = delete;
  // Waits for the digest, or takes it; rethrows what stopped it.
  std::string Join() {
    if (!thread_.joinable()) return PackageDigest(records_);
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    return hash_;
  }

 private:
  const std::vector<Record>& records_;
  std::string hash_;
  std::exception_ptr failure_;
  std::thread thread_;
};

// Whether file holds exactly the bytes records make.
bool SameBytes(ByteSource& file, const std::vector<Record>& records) {
  std::uint64_t at = 0;
  bool same = true;
  std::vector<unsigned char> piece;
  EmitPackage(records, [&](const unsigned char* data, std::size_t size) {
    for (std::size_t done = 0; same && done < size;) {
      const std::size_t n = std::min<std::size_t>(size - done, std::size_t{1} << 20);
      piece.resize(n);
      same = file.ReadAt(at, piece.data(), n) && std::memcmp(piece.data(), data + done, n) == 0;
      at += n;
      done += n;
    }
  });
  return same && at == file.Size();
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
  // The package's bytes are hashed in a second thread as they are written: the run costs
  // about the larger of the two, not their sum.
  std::optional<BackgroundDigest> digest;
  if (output.Staged()) digest.emplace(records, packageSize);
  OutputFile& file = output.File();
  EmitPackage(records,
              [&](const unsigned char* data, std::size_t size) { file.Write(data, size); });
  // A pipe has no position to check; a file must hold exactly the package.
  const bool whole = !output.Staged() || file.Position() == packageSize;
  if (!output.Close() || !whole) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
  }
  if (!digest) return std::nullopt;
  // The digest is of this build's own file: its bytes as read back must be those hashed, so
  // another build replacing the target meanwhile cannot lend it its bytes. Comparing costs a
  // fraction of hashing, and runs while the hash is still being taken.
  const bool same = SameBytes(output.Written(), records);
  std::string hash = digest->Join();
  if (!same) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to read Branding Package file: " + path);
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
