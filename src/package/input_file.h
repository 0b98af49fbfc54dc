// Reading an input file whole, with its size known before anything is allocated.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vantu::branding_package {

class InputFile {
 public:
  // Opens path for reading bytes; a directory, or a file whose size cannot be taken by
  // seeking to its end, counts as not openable.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Whether the file is open and its size known.
  bool IsOpen() const { return file_ != nullptr; }
  // The size measured at open.
  std::uint64_t Size() const { return size_; }
  // Reads size bytes from the start into out; false when fewer arrive.
  bool ReadAll(void* out, std::uint64_t size);

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
};

}  // namespace vantu::branding_package
