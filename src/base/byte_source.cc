#include "base/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vantu::branding_package {

bool MemorySource::ReadAt(std::uint64_t offset, void* out, std::uint64_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
  if (size > 0) std::memcpy(out, bytes_.data() + offset, static_cast<std::size_t>(size));
  return true;
}

namespace {

// Why an open file cannot be read as a source, or empty when it can; size and id get its
// size and identity.
std::string Unusable(int fd, std::uint64_t& size, FileId& id, struct stat& status) {
  if (fstat(fd, &status) != 0) return std::strerror(errno);
  id = FileId{status.st_dev, status.st_ino};
  if (S_ISDIR(status.st_mode)) return "it is a directory";
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  const off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0) return std::strerror(errno);
  size = static_cast<std::uint64_t>(end);
  return "";
}

}  // namespace

// A FIFO would block the open until a writer comes, and a device may never end.
FileSource::FileSource(const std::string& path)
    : fd_(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
  clock_gettime(CLOCK_REALTIME, &openedAt_);
  openFailure_ = fd_ < 0 ? std::strerror(errno) : Unusable(fd_, size_, id_, opened_);
  if (fd_ >= 0 && !openFailure_.empty()) {
    close(fd_);
    fd_ = -1;
  }
}

FileSource::FileSource(Descriptor file) : fd_(file.Release()) {
  clock_gettime(CLOCK_REALTIME, &openedAt_);
  openFailure_ = fd_ < 0 ? std::strerror(EBADF) : Unusable(fd_, size_, id_, opened_);
  if (fd_ >= 0 && !openFailure_.empty()) {
    close(fd_);
    fd_ = -1;
  }
}

std::string FileSource::ReadFailure() const {
  if (changed_) return "it changed while it was read";
  return readError_ != 0 ? std::strerror(readError_) : ByteSource::ReadFailure();
}

bool SettledAt(const struct stat& status, const timespec& when, std::chrono::nanoseconds tick) {
  const auto nanoseconds = [](const timespec& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
  };
  return nanoseconds(when) - std::max(nanoseconds(status.st_ctim), nanoseconds(status.st_mtim)) >=
         tick;
}

bool FileSource::Settled() { return SettledAt(opened_, openedAt_); }

bool ByteSource::ReadWhole(void* out, std::uint64_t size) {
  if (!ReadAll(out, size) || Changed()) return false;
  if (Settled()) return true;
  std::unique_ptr<unsigned char[]> again(new unsigned char[size > 0 ? size : 1]);
  return ReadAll(again.get(), size) && !Changed() &&
         std::memcmp(out, again.get(), static_cast<std::size_t>(size)) == 0;
}

bool FileSource::Changed() {
  struct stat now {};
  const bool same = fd_ >= 0 && fstat(fd_, &now) == 0 && now.st_size == opened_.st_size &&
                    now.st_ctim.tv_sec == opened_.st_ctim.tv_sec &&
                    now.st_ctim.tv_nsec == opened_.st_ctim.tv_nsec &&
                    now.st_mtim.tv_sec == opened_.st_mtim.tv_sec &&
                    now.st_mtim.tv_nsec == opened_.st_mtim.tv_nsec;
  changed_ = changed_ || !same;
  return changed_;
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
    const ssize_t got =
        pread(fd_, bytes + done, static_cast<std::size_t>(want), static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) readError_ = errno;
    if (got <= 0) return false;
    done += static_cast<std::uint64_t>(got);
  }
  return true;
}

bool ReadPieces(ByteSource& source, std::uint64_t offset, std::uint64_t size,
                const std::function<bool(const unsigned char* piece, std::size_t size)>& sink) {
  constexpr std::uint64_t kPiece = std::uint64_t{1} << 20;
  // No larger than the range needs; every byte handed on is read first.
  const auto length = static_cast<std::size_t>(std::min(size, kPiece));
  std::unique_ptr<unsigned char[]> piece(new unsigned char[length > 0 ? length : 1]);
  for (std::uint64_t done = 0; done < size;) {
    const auto want = static_cast<std::size_t>(std::min(size - done, kPiece));
    if (!source.ReadAt(offset + done, piece.get(), want) || !sink(piece.get(), want)) return false;
    done += want;
  }
  return true;
}

std::optional<FileId> IdOfFile(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileId{status.st_dev, status.st_ino};
}

}  // namespace vantu::branding_package
