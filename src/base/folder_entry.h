// A file named by the folder that holds it, opened, and its name there: how the tools reach
// an entry after the first open without walking a path someone else may change.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "base/descriptor.h"
#include "base/file_id.h"

namespace vantu::branding_package {

struct FolderEntry {
  Descriptor folder;  // opened with O_PATH; every later step is relative to it
  std::string name;   // one path component
  // Whether a link of /proc (an open file's own link) was followed: the name found is only
  // the text of that link, not a way to the file.
  bool throughOpenFile = false;
};

// Where path leads: its symbolic links are read one at a time relative to folders the
// kernel opened (with its protections), ending at the entry a file is or would be made at.
// None, with errno, on a loop, a path ending in '/', or a folder that cannot be opened.
std::optional<FolderEntry> LocateEntry(const std::string& path);

// The file an open descriptor is, or none with errno.
std::optional<FileId> IdOfDescriptor(int fd);

// Whether folder holds name without following it, and it is the file id.
bool EntryIs(int folder, const std::string& name, const FileId& id);

// Makes a new entry named prefix and six random letters: make(name) creates it
// exclusively, failing with EEXIST when the name is taken. The name made, or empty with errno.
std::string CreateUniqueEntry(const std::string& prefix,
                              const std::function<bool(const std::string& name)>& make);

// Opens a copy of fd (close-on-exec); none on failure.
Descriptor Duplicate(int fd);

}  // namespace vantu::branding_package
