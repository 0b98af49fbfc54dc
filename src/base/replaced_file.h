// The one way the tools write a file: whole or not at all, never over one of the run's inputs.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/file_id.h"
#include "base/output_file.h"

namespace vantu::branding_package {

// Why a ReplacedFile is not open.
enum class OpenFailure {
  kNone,       // open
  kIsInput,    // the target is one of the run's inputs; nothing was touched
  kCannotOpen  // the target cannot be written or no temporary file could be made (errno says)
};

// The whole output is written to a temporary file first and checked; only then does Publish
// put it in place, by renaming it over the target (a new file, or a regular file with one
// link whose owner and group the new file can keep) or, where a rename would break a hard
// link, change the owner or group, or cannot be done in a directory that is not writable, by
// copying it over the target through a descriptor opened at the start. A symbolic link, even
// a dangling one, stays a link: its final target is replaced. The temporary file lies beside
// that final target, or in $TMPDIR when that directory is not writable. Only a target that is
// not a regular file (a device, a FIFO) is written in place.
class ReplacedFile {
 public:
  // Opens the temporary file (or a device target) unless target is one of inputs.
  ReplacedFile(const std::string& target, Mode mode, const std::vector<FileId>& inputs = {});
  // Removes a temporary file that was not published.
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;

  // Whether the file being written is open.
  bool IsOpen() const { return file_ != nullptr && file_->IsOpen(); }
  // Why it is not open.
  OpenFailure Failure() const { return failure_; }
  // The stream to write through.
  OutputFile& File() { return *file_; }
  // Whether the bytes go to a temporary file first (false only for a device or a FIFO).
  bool Staged() const { return !temporary_.empty(); }
  // The path being written: the temporary file, or the target.
  const std::string& WrittenPath() const { return Staged() ? temporary_ : final_; }
  // Reserves size bytes for the temporary file; filling allocated blocks is faster.
  void Reserve(std::uint64_t size);
  // Flushes and closes; true only when every write, the flush and the close succeeded.
  bool Close() { return file_ != nullptr && file_->Commit(); }
  // Puts the closed temporary file in place; true when done (or written in place). A copy
  // is made with signals held after reserving the space, so only an I/O error in its middle
  // can leave the target part-written.
  bool Publish();

 private:
  // Where the temporary file goes and how it is put in place.
  enum class Strategy { kRename, kCopy, kInPlace };

  // Chooses the strategy for an existing regular target and opens what it needs.
  void OpenOverExisting(Mode mode, const struct stat& existing);
  // Creates the temporary file in dir with mode bits; false when that cannot be done.
  bool OpenTemporary(const std::string& dir, Mode mode, unsigned bits);
  // Copies the temporary file over the target's descriptor; false on any failure.
  bool CopyOver();
  // Removes the temporary file and forgets it.
  void Discard();

  std::string final_;
  std::string temporary_;
  Strategy strategy_ = Strategy::kRename;
  OpenFailure failure_ = OpenFailure::kNone;
  int temporaryFd_ = -1;  // owned by file_'s stream
  int targetFd_ = -1;     // the target a copy goes to
  int cleanupSlot_ = -1;
  std::unique_ptr<OutputFile> file_;
};

}  // namespace vantu::branding_package
