#include "base/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantu::branding_package {

bool MemorySource::ReadAt(std::uint64_t offset, void* out, std::uint64_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size > 0) std::memcpy(out, bytes_.data() + offset, static_cast<std::size_t>(size));
  return true;
}

// A FIFO would block the open until a writer comes, and a device may never end.
FileSource::FileSource(const std::string& path)
    : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd_ < 0) {
    openFailure_ = std::strerror(errno);
    return;
  }
  struct stat status {};
  off_t end = -1;
  if (fstat(fd_, &status) != 0) {
    openFailure_ = std::strerror(errno);
  } else if (!S_ISREG(status.st_mode)) {
    openFailure_ = S_ISDIR(status.st_mode) ? "it is a directory" : "not a regular file";
  } else if ((end = lseek(fd_, 0, SEEK_END)) < 0) {
    openFailure_ = std::strerror(errno);
  }
  if (end < 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<std::uint64_t>(end);
}

std::string FileSource::ReadFailure() const {
  return readError_ != 0 ? std::strerror(readError_) : ByteSource::ReadFailure();
}

FileSource::~FileSource() {
  if (fd_ >= 0) close(fd_);
}

namespace {

constexpr std::uint64_t kWindowSize = 64 << 10;

}  // namespace

bool FileSource::ReadAt(std::uint64_t offset, void* out, std::uint64_t size) {
  if (size >= kWindowSize / 2) return ReadDirect(offset, out, size);
  const bool inside = offset >= windowStart_ && offset - windowStart_ <= windowSize_ &&
                      size <= windowSize_ - (offset - windowStart_);
  if (!inside) {
    if (!window_) window_.reset(new unsigned char[kWindowSize]);
    windowStart_ = offset;
    windowSize_ = 0;
    while (windowSize_ < kWindowSize) {
      const ssize_t got = pread(fd_, window_.get() + windowSize_,
                                static_cast<std::size_t>(kWindowSize - windowSize_),
                                static_cast<off_t>(offset + windowSize_));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) readError_ = errno;
      if (got <= 0) break;
      windowSize_ += static_cast<std::uint64_t>(got);
    }
    if (size > windowSize_) return false;
  }
  if (size > 0) {
    std::memcpy(out, window_.get() + (offset - windowStart_), static_cast<std::size_t>(size));
  }
  return true;
}

bool FileSource::ReadDirect(std::uint64_t offset, void* out, std::uint64_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  // Reads go straight into the caller's buffer, in pieces the kernel accepts.
  constexpr std::uint64_t kMaxPiece = std::uint64_t{1} << 30;
  for (std::uint64_t done = 0; done < size;) {
    const std::uint64_t want = size - done < kMaxPiece ? size - done : kMaxPiece;
    const ssize_t got = pread(fd_, bytes + done, static_cast<std::size_t>(want),
                              static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) readError_ = errno;
    if (got <= 0) return false;
    done += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace vantu::branding_package
