#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <wolfssl/options.h>
#include <wolfssl/openssl/sha.h>

#include "app/bp_exception.h"
#include "package/file_writer.h"
#include "safe/safe_api.h"

namespace {

constexpr std::size_t kReadSize = 1024;
// Stream buffer behind the 1024-byte reads, so the file is fetched in few large reads.
constexpr std::size_t kStreamBufferSize = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string cBP_FILE_WRITER::GetPackageHash() const {
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadSize]);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(outputPath.c_str(), "rb"));
  if (!file) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Branding Package file: " + outputPath);
  }
  // No larger than the file needs: a small package then costs no fresh mapping.
  struct stat status {};
  std::size_t bufferSize = kStreamBufferSize;
  if (fstat(fileno(file.get()), &status) == 0 && status.st_size >= 0 &&
      static_cast<std::uint64_t>(status.st_size) < kStreamBufferSize) {
    bufferSize = std::max<std::size_t>(static_cast<std::size_t>(status.st_size) + 1, kReadSize);
  }
  // Left uninitialised. Nothing below throws before file.reset(), so the stream is closed
  // before its buffer goes.
  std::unique_ptr<char[]> streamBuffer(new char[bufferSize]);
  std::setvbuf(file.get(), streamBuffer.get(), _IOFBF, bufferSize);

  WOLFSSL_SHA256_CTX context;
  wolfSSL_SHA256_Init(&context);
  std::size_t got;
  while ((got = std::fread(buffer.get(), 1, kReadSize, file.get())) > 0) {
    wolfSSL_SHA256_Update(&context, buffer.get(), got);
  }
  const bool readFailed = std::ferror(file.get()) != 0;
  unsigned char digest[32];
  wolfSSL_SHA256_Final(digest, &context);
  buffer.reset();
  file.reset();
  if (readFailed) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to read Branding Package file: " + outputPath);
  }

  char text[65];
  text[64] = '\0';
  for (std::size_t i = 0; i < sizeof digest; ++i) {
    vantu_sprintf_s(text + 2 * i, 65 - 2 * i, "%02x", static_cast<unsigned>(digest[i]));
  }
  return text;
}
