#include "package/write_package.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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

}  // namespace

RunningDigest::RunningDigest(std::uint64_t packageSize)
    : size_(packageSize), thread_([this] { Run(); }) {}

RunningDigest::~RunningDigest() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void RunningDigest::Add(const cBP_COMPONENT_WRAPPER& record) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(&record);
    added_ += record.size;
    waiting_.push_back(&record);
  }
  wake_.notify_one();
}

std::optional<std::string> RunningDigest::Finish(const std::vector<Record>& records) {
  std::unique_lock<std::mutex> lock(mutex_);
  bool same = records.size() == records_.size() && kHeaderSize + added_ + kEndRecordSize == size_;
  for (std::size_t i = 0; same && i < records.size(); ++i) same = records[i].get() == records_[i];
  if (!same) return std::nullopt;
  finishing_ = true;
  wake_.notify_all();
  wake_.wait(lock, [this] { return !hash_.empty() || failed_; });
  if (failed_) return std::nullopt;
  return hash_;
}

void RunningDigest::Run() {
  try {
    Sha256Digest digest;
    unsigned char header[kHeaderSize];
    EncodeHeader(header, static_cast<std::uint32_t>(size_));
    digest.Update(header, sizeof header);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || finishing_ || !waiting_.empty(); });
      if (stopping_) return;
      if (waiting_.empty()) break;  // finishing, and every record hashed
      const cBP_COMPONENT_WRAPPER* record = waiting_.front();
      waiting_.pop_front();
      lock.unlock();
      // In pieces, so that a stop is not kept waiting for a whole image.
      constexpr std::size_t kPiece = std::size_t{1} << 20;
      for (std::size_t done = 0; done < record->size && !stopping_; done += kPiece) {
        digest.Update(record->data.get() + done,
                      std::min<std::size_t>(kPiece, record->size - done));
      }
      lock.lock();
    }
    lock.unlock();
    unsigned char end[kEndRecordSize];
    EncodeEndRecord(end);
    digest.Update(end, sizeof end);
    std::string hash = digest.Hex();
    lock.lock();
    hash_ = std::move(hash);
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    failed_ = true;
  }
  wake_.notify_all();
}

namespace {

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
  bytes.reserve(static_cast<std::size_t>(PackageSize(records)));
  EmitPackage(records, [&](const unsigned char* data, std::size_t size) {
    bytes.append(reinterpret_cast<const char*>(data), size);
  });
  return bytes;
}

std::optional<std::string> WritePackageFile(const std::string& path,
                                            const std::vector<Record>& records,
                                            const std::vector<FileId>& inputs,
                                            RunningDigest* running) {
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
  std::optional<RunningDigest> digest;
  if (output.Staged() && running == nullptr && packageSize >= kHashAlongsideFrom) {
    running = &digest.emplace(packageSize);
    for (const Record& record : records) running->Add(*record);
  }
  OutputFile& file = output.File();
  EmitPackage(records,
              [&](const unsigned char* data, std::size_t size) { file.Write(data, size); });
  // A pipe has no position to check; a file must hold exactly the package.
  const bool whole = !output.Staged() || file.Position() == packageSize;
  if (!output.Close() || !whole) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
  }
  if (!output.Staged()) return std::nullopt;
  // The digest is of this build's own file: its bytes as read back must be those hashed, so
  // another build replacing the target meanwhile cannot lend it its bytes. Comparing costs a
  // fraction of hashing, and runs while the hash is still being taken.
  const bool same = SameBytes(output.Written(), records);
  std::optional<std::string> taken = running != nullptr ? running->Finish(records) : std::nullopt;
  const std::string hash = taken ? *taken : PackageDigest(records);
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
