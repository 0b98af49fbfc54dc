#include "base/file_system.h"

#include <fcntl.h>
#include <stdio.h>

namespace vantu::branding_package {

bool FileSystem::Rename(int fromFolder, const std::string& from, int toFolder,
                        const std::string& to, unsigned flags) {
  return renameat2(fromFolder, from.c_str(), toFolder, to.c_str(), flags) == 0;
}

FileSystem& RealFileSystem() {
  static FileSystem real;
  return real;
}

}  // namespace vantu::branding_package
