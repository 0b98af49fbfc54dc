#include "package/input_file.h"

#include <sys/stat.h>

namespace vantu::branding_package {

InputFile::InputFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
  if (file_ == nullptr) return;
  // Reads go straight to the caller's buffer; a stream buffer would only add a copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  struct stat status {};
  off_t end = -1;
  if (fstat(fileno(file_), &status) == 0 && !S_ISDIR(status.st_mode) &&
      fseeko(file_, 0, SEEK_END) == 0) {
    end = ftello(file_);
  }
  if (end < 0 || fseeko(file_, 0, SEEK_SET) != 0) {
    std::fclose(file_);
    file_ = nullptr;
    return;
  }
  size_ = static_cast<std::uint64_t>(end);
}

InputFile::~InputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool InputFile::ReadAll(void* out, std::uint64_t size) {
  auto* bytes = static_cast<unsigned char*>(out);
  std::uint64_t done = 0;
  while (done < size) {
    const std::size_t got = std::fread(bytes + done, 1, static_cast<std::size_t>(size - done), file_);
    if (got == 0) return false;
    done += got;
  }
  return true;
}

}  // namespace vantu::branding_package
