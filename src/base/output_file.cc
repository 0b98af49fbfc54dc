#include "base/output_file.h"

namespace vantu::branding_package {

OutputFile::OutputFile(std::FILE* file) : file_(file), ok_(file != nullptr) {}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void OutputFile::Write(const void* data, std::size_t size) {
  if (ok_ && size > 0 && std::fwrite(data, 1, size, file_) != size) ok_ = false;
}

std::uint64_t OutputFile::Position() {
  if (!ok_) return 0;
  const off_t position = ftello(file_);
  if (position < 0) {
    ok_ = false;
    return 0;
  }
  return static_cast<std::uint64_t>(position);
}

bool OutputFile::Commit() {
  if (file_ == nullptr) return false;
  if (std::fflush(file_) != 0) ok_ = false;
  if (std::fclose(file_) != 0) ok_ = false;
  file_ = nullptr;
  return ok_;
}

}  // namespace vantu::branding_package
