#include "base/file_system.h"

#include <fcntl.h>
#include <stdio.h>

namespace vantu::branding_package {

bool FileSystem::Rename(const std::string& from, const std::string& to, unsigned flags) {
  return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) == 0;
}

FileSystem& RealFileSystem() {
  static FileSystem real;
  return real;
}

}  // namespace vantu::branding_package
