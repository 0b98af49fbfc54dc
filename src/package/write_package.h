// Writing a whole package: header, records, end record, and the size in the header.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/replaced_file.h"
#include "package/records.h"

namespace vantu::branding_package {

// Header, records and end record as one package in memory.
std::string EncodePackage(const std::vector<Record>& records);

// Begins the -504 message of an output that is one of the build's inputs.
constexpr char kOutputIsInput[] = "Output file is also an input, not overwriting it: ";

// The size from which a package is hashed while it is made or written, in a second thread:
// below it a thread costs more than the hash it would overlap.
constexpr std::uint64_t kHashAlongsideFrom = std::uint64_t{4} << 20;

// A package's SHA-256 taken while its records are still being read, from the size it is
// expected to have: the hash of a large package then costs little more than the hash alone,
// instead of reading plus hashing. Used only when the package comes out as expected.
class RunningDigest {
 public:
  // Starts hashing a package of packageSize bytes, its header first.
  explicit RunningDigest(std::uint64_t packageSize);
  // Stops the hashing, whether it was finished or not.
  ~RunningDigest();
  RunningDigest(const RunningDigest&) = delete;
  RunningDigest& operator=(const RunningDigest&) = delete;
  // Hashes record next, which must stay as it is until Finish or the end.
  void Add(const cBP_COMPONENT_WRAPPER& record);
  // The package's hash, once the end record is hashed too: none when records are not the
  // ones added, in their order, or the package is not of the size expected.
  std::optional<std::string> Finish(const std::vector<Record>& records);

 private:
  // Hashes what is added until told to finish or stop.
  void Run();

  std::uint64_t size_;  // expected
  std::uint64_t added_ = 0;
  std::vector<const cBP_COMPONENT_WRAPPER*> records_;  // every record added
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<const cBP_COMPONENT_WRAPPER*> waiting_;  // added and not yet hashed
  bool finishing_ = false;
  std::atomic<bool> stopping_ = false;
  bool failed_ = false;
  std::string hash_;
  std::thread thread_;  // last: it starts once the rest is ready
};

// Writes the package to path, replacing it whole (see ReplacedFile). Throws -504 when the
// records together pass 4 GiB (before anything is opened), when path is one of inputs,
// when it cannot be opened, when a write, flush, close or putting it in place fails (the
// target is then left as it was), and when the written file cannot be read back. Returns the
// SHA-256 of the file as read back before it replaced the target, or none where a device
// or FIFO was written in place. The hash running took of the records, when it took it of
// these, is not taken again.
std::optional<std::string> WritePackageFile(const std::string& path,
                                            const std::vector<Record>& records,
                                            const std::vector<FileId>& inputs = {},
                                            RunningDigest* running = nullptr);

// The SHA-256 of the file at path as read back; throws -504 naming shownPath when it cannot
// be opened or read.
std::string PackageFileHash(const std::string& path, const std::string& shownPath);

}  // namespace vantu::branding_package
