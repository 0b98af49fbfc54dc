// The one way the tools write a file: whole or not at all, never over one of the run's inputs.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/descriptor.h"
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
// put it in place. The kernel resolves the target's path once, links and their protections
// included; every later step goes through descriptors. A new file, or a regular file with one
// link whose owner, group and extended attributes (its ACL) the new file can keep, is replaced
// by renaming the temporary file over it within the folder opened for it. A target with a
// second hard link, another owner, attributes that cannot be kept, a mount on it, in a folder
// that is not writable, or reached through an open file's link in /proc, keeps its inode: the
// temporary file is copied over it through the descriptor opened at the start, one copy at a
// time. A symbolic link stays a link: its final target is replaced. Only a target that is not
// a regular file (a device, a FIFO, a pipe) is written in place.
class ReplacedFile {
 public:
  // How long a copy waits for the target's lock by default.
  static constexpr std::chrono::milliseconds kCopyLockWait{10000};

  // Opens the target and the temporary file (or a device target) unless target is an input.
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
  // Whether the bytes go to a temporary file first (false only for a target written in place).
  bool Staged() const { return written_.IsOpen(); }
  // The temporary file as written, read through the descriptor that wrote it; after Close.
  ByteSource& Written();
  // Reserves size bytes for the temporary file; filling allocated blocks is faster.
  void Reserve(std::uint64_t size);
  // Flushes and closes; true only when every write, the flush and the close succeeded.
  bool Close() { return file_ != nullptr && file_->Commit(); }
  // Puts the closed temporary file in place; true when done (or written in place). Once it
  // is in place, a signal no longer ends the run. A copy keeps the target whole unless an
  // I/O error strikes in its middle; it waits at most lockWait for another copy over the
  // target (or a reader's lock on it) to end, then fails with EWOULDBLOCK, the target whole.
  bool Publish(std::chrono::milliseconds lockWait = kCopyLockWait);

 private:
  // How the temporary file is put in place.
  enum class Strategy { kRename, kCopy, kInPlace };

  // A new file at the entry target leads to.
  void OpenNew(const std::string& target, Mode mode);
  // An existing regular file, open as target_: chooses rename or copy.
  void OpenOverExisting(const std::string& target, Mode mode, const struct stat& existing);
  // Creates the temporary file in folder with createMode; false when that cannot be done.
  bool OpenTemporary(int folder, Mode mode, unsigned createMode);
  // Renames the temporary file over the entry, if it is still the file written.
  bool RenameOver();
  // Copies the temporary file over target_; false, the target as it was, on a failure
  // before the first old byte changes.
  bool CopyOver();
  // Removes the temporary file and forgets it.
  void Discard();

  Strategy strategy_ = Strategy::kRename;
  OpenFailure failure_ = OpenFailure::kNone;
  Descriptor target_;      // the existing target, open for writing (copy, in place)
  Descriptor folder_;      // the folder of the entry a rename replaces
  std::string name_;       // that entry
  Descriptor tempFolder_;  // the folder of the temporary file
  std::string tempName_;   // its name there, until it is renamed or removed
  Descriptor written_;     // the temporary file, read back and copied from
  FileId writtenId_;       // which file that is
  int cleanupSlot_ = -1;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<FileSource> readBack_;
};

}  // namespace vantu::branding_package
