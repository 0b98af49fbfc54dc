// Which file a path or a descriptor reaches: how an output is told apart from the inputs.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vantu::branding_package {

// One file on one device, however a path reaches it.
struct FileId {
  dev_t device = 0;  // st_dev
  ino_t inode = 0;   // st_ino
  // Whether both name the same file.
  bool operator==(const FileId& other) const {
    return device == other.device && inode == other.inode;
  }
};

// The file path reaches (following links), or none when it does not exist.
std::optional<FileId> IdOfFile(const std::string& path);

}  // namespace vantu::branding_package
