// An open file descriptor that closes itself: how every step after an open refers to the file.
#pragma once

#include <unistd.h>

#include <utility>

namespace vantu::branding_package {

class Descriptor {
 public:
  Descriptor() = default;
  // Takes ownership of fd; a negative fd is none.
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  // Whether a descriptor is held.
  bool IsOpen() const { return fd_ >= 0; }
  // The descriptor itself, still owned.
  int Get() const { return fd_; }
  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(fd_, -1); }
  // Closes it; true when there was none or the close succeeded.
  bool Reset() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace vantu::branding_package
