// The file-system calls an all-or-nothing step depends on, behind an interface the tests
// replace to make one of them fail.
#pragma once

#include <string>

namespace vantu::branding_package {

// Moves of directory entries, as renameat2 makes them.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Renames from in the open folder fromFolder to to in toFolder with renameat2's flags
  // (RENAME_NOREPLACE, RENAME_EXCHANGE); true when done, else false with errno set.
  virtual bool Rename(int fromFolder, const std::string& from, int toFolder, const std::string& to,
                      unsigned flags);
};

// The system's own.
FileSystem& RealFileSystem();

}  // namespace vantu::branding_package
