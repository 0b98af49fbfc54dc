// The digest stage: the SHA-256 of a package's bytes, computed with wolfSSL.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "base/byte_source.h"

namespace vantu::branding_package {

// The SHA-256 of all source.Size() bytes of source in 64 lower-case hex digits; none when a
// read fails. Throws std::runtime_error when the digest itself cannot be computed.
std::optional<std::string> Sha256Hex(ByteSource& source);

// A SHA-256 taken piece by piece, as bytes go by.
class Sha256Digest {
 public:
  // Throws std::runtime_error when the digest cannot be started.
  Sha256Digest();
  ~Sha256Digest();
  Sha256Digest(const Sha256Digest&) = delete;
  Sha256Digest& operator=(const Sha256Digest&) = delete;
  // Adds size bytes at data.
  void Update(const unsigned char* data, std::size_t size);
  // The digest of everything added, in 64 lower-case hex digits; the digest ends here.
  std::string Hex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace vantu::branding_package
