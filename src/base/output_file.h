// A file written in one pass whose success is known only after Commit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vantu::branding_package {

// How the bytes are written.
enum class Mode { kBinary, kText };

class OutputFile {
 public:
  // Takes over a stream already open for writing; null counts as not open.
  explicit OutputFile(std::FILE* file);
  // Closes the file if Commit was not reached; the content is then incomplete.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Whether the open succeeded.
  bool IsOpen() const { return file_ != nullptr; }
  // Appends size bytes; a failure is remembered and reported by Commit.
  void Write(const void* data, std::size_t size);
  // Bytes written so far, as the stream position says.
  std::uint64_t Position();
  // Flushes and closes; true only when every write, the flush and the close succeeded.
  bool Commit();

 private:
  std::FILE* file_;
  bool ok_;
};

}  // namespace vantu::branding_package
