// An output file that replaces its target whole or not at all.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/output_file.h"

namespace vantu::branding_package {

// Whether a and b name one existing file (the same device and inode), however reached.
bool SameFile(const std::string& a, const std::string& b);

// Written to a new temporary file in the target's directory (created exclusively, with the
// target's permission bits, or the usual ones for a new file) and renamed over the target by
// Publish. A symbolic link stays a link: its final target is replaced. A target that is not
// a regular file, has more than one link, or could not be opened for writing, is written in
// place instead, as a plain OutputFile would.
class ReplacedFile {
 public:
  // Opens the temporary file, or target itself; binary or text mode.
  ReplacedFile(const std::string& target, bool binary);
  // Removes a temporary file that was not published.
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  // Whether the file being written is open.
  bool IsOpen() const { return file_->IsOpen(); }
  // The stream to write through.
  OutputFile& File() { return *file_; }
  // Whether the target is replaced by renaming a temporary file.
  bool Atomic() const { return !temporary_.empty(); }
  // The path being written: the temporary file, or the target.
  const std::string& WrittenPath() const { return Atomic() ? temporary_ : final_; }
  // Reserves size bytes for a temporary file about to receive that many; writing into
  // blocks already allocated is several times faster than growing a new file.
  void Reserve(std::uint64_t size);
  // Flushes and closes; true only when every write, the flush and the close succeeded.
  bool Close() { return file_->Commit(); }
  // Renames the closed temporary file over the target; true when done or written in place.
  bool Publish();

 private:
  // Creates the temporary file beside final_; false when that cannot be done.
  bool OpenTemporary(bool binary, unsigned mode, const struct stat* existing);

  std::string final_;
  std::string temporary_;
  int temporaryFd_ = -1;  // owned by file_'s stream
  int cleanupSlot_ = -1;
  std::unique_ptr<OutputFile> file_;
};

}  // namespace vantu::branding_package
