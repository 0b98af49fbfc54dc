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
  // Declared before the file so that it outlives the stream that uses it.
  auto streamBuffer = std::make_unique<char[]>(kStreamBufferSize);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(outputPath.c_str(), "rb"));
  if (!file) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Branding Package file: " + outputPath);
  }
  std::setvbuf(file.get(), streamBuffer.get(), _IOFBF, kStreamBufferSize);

  WOLFSSL_SHA256_CTX context;
  wolfSSL_SHA256_Init(&context);
  auto buffer = std::make_unique<unsigned char[]>(kReadSize);
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
