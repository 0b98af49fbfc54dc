// Bytes read by offset, from a file or from memory, so that parsers and checks run on either.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/descriptor.h"
#include "base/file_id.h"

namespace vantu::branding_package {

// The coarsest step of a file's times that a file system keeps (whole seconds; FAT's are of
// two): a file changed less than this ago may change again and keep its times.
constexpr std::chrono::nanoseconds kTimestampTick = std::chrono::seconds(2);

// Whether a file with status, looked at when, had last changed at least tick before then.
bool SettledAt(const struct stat& status, const timespec& when,
               std::chrono::nanoseconds tick = kTimestampTick);

// An offset that names no byte: what a fault about a file as a whole points at.
constexpr std::uint64_t kNoOffset = UINT64_MAX;

// Random-access input whose size is known before anything is read.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The size measured when the source was made.
  virtual std::uint64_t Size() const = 0;
  // Reads size bytes at offset into out; false when fewer arrive.
  virtual bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) = 0;
  // Reads size bytes from the start into out; false when fewer arrive.
  bool ReadAll(void* out, std::uint64_t size) { return ReadAt(0, out, size); }
  // Why the last read that failed did: the system's reason, or that the bytes ended early.
  virtual std::string ReadFailure() const { return "it ended early"; }
  // Whether the bytes may differ from those when the source was made: a file written to while
  // it was read, whose bytes read may be half one version and half another.
  virtual bool Changed() { return false; }
  // Whether every change while it is read would show in Changed(): false for a file changed
  // less than kTimestampTick before it was opened, since a write stamps the file's times as it
  // starts (one still copying its bytes leaves no later mark) and a write within one tick of
  // the times leaves them as they were.
  virtual bool Settled() { return true; }
  // Reads size bytes from the start into out, as they were on disk together: false when
  // fewer arrive or the source changed meanwhile. An unsettled file is read twice, and both
  // reads must agree.
  bool ReadWhole(void* out, std::uint64_t size);
};

// Bytes the caller keeps alive for the source's lifetime.
class MemorySource : public ByteSource {
 public:
  // Views bytes; nothing is copied.
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  // The length of the bytes.
  std::uint64_t Size() const override { return bytes_.size(); }
  // Copies from the bytes; false past their end.
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override;

 private:
  std::string_view bytes_;
};

// A range of another source, read as a source of its own.
class SliceSource : public ByteSource {
 public:
  // Views size bytes of source from offset; source must outlive the slice.
  SliceSource(ByteSource& source, std::uint64_t offset, std::uint64_t size)
      : source_(source), offset_(offset), size_(size) {}
  // The size of the range.
  std::uint64_t Size() const override { return size_; }
  // Reads from the range; false past its end.
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override {
    return offset <= size_ && size <= size_ - offset && source_.ReadAt(offset_ + offset, out, size);
  }
  // What the underlying source says.
  std::string ReadFailure() const override { return source_.ReadFailure(); }

 private:
  ByteSource& source_;
  std::uint64_t offset_;
  std::uint64_t size_;
};

// Reads size bytes of source from offset in pieces of at most 1 MiB, handing each to sink in
// order; false when a read fails or the sink refuses a piece.
bool ReadPieces(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                const std::function<bool(const unsigned char* piece, std::size_t size)>& sink);

// A file opened for reading; its descriptor is closed with the source.
class FileSource : public ByteSource {
 public:
  // Opens path without blocking; anything but a regular file (a directory, a FIFO, a
  // device) counts as not openable.
  explicit FileSource(const std::string& path);
  // Reads an open descriptor from its start; as the path form, only a regular file counts.
  explicit FileSource(Descriptor file);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Whether the file is open and its size known.
  bool IsOpen() const { return fd_ >= 0; }
  // The file opened, as the output path compares it with its target.
  FileId Id() const { return id_; }
  // Why the open failed: the system's reason, or "not a regular file".
  const std::string& OpenFailure() const { return openFailure_; }
  // The system's reason when a read failed, else that the file ended early.
  std::string ReadFailure() const override;
  // The size measured at open.
  std::uint64_t Size() const override { return size_; }
  // The file's status at open, from its descriptor.
  const struct stat& Opened() const { return opened_; }
  // When it was opened.
  const timespec& OpenedAt() const { return openedAt_; }
  // Whether its size, change or modification time differ from those at open, or it cannot
  // be told; the reason is then ReadFailure's.
  bool Changed() override;
  bool Settled() override;
  // Reads with pread, retrying short reads; false at the end of the file or on an error.
  // Small reads are served from a read-ahead window, so a walk over many small records
  // costs few system calls.
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override;

 private:
  // Reads size bytes at offset straight from the file.
  bool ReadDirect(std::uint64_t offset, void* out, std::uint64_t size);

  int fd_ = -1;
  std::uint64_t size_ = 0;
  struct stat opened_ {};
  timespec openedAt_{};  // the clock at open
  bool changed_ = false;
  FileId id_;
  std::string openFailure_;
  int readError_ = 0;
  std::unique_ptr<unsigned char[]> window_;
  std::uint64_t windowStart_ = 0;
  std::uint64_t windowSize_ = 0;
};

}  // namespace vantu::branding_package
