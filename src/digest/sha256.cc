#include "digest/sha256.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>

// wolfSSL's build options come before any other of its headers.
#include <wolfssl/options.h>

#include <wolfssl/openssl/sha.h>

#include "safe/safe_api.h"

namespace vantu::branding_package {

namespace {

// Pieces large enough that a large package costs few reads.
constexpr std::uint64_t kPieceSize = std::uint64_t{1} << 20;
// What wolfSSL's SHA-256 calls return on success.
constexpr int kWolfSuccess = 1;

void Require(bool ok) {
  if (!ok) throw std::runtime_error("SHA-256 computation failed");
}

}  // namespace

std::optional<std::string> Sha256Hex(ByteSource& source) {
  const std::uint64_t size = source.Size();
  // No larger than the package needs; left uninitialised, every byte used is read first.
  const auto pieceSize =
      static_cast<std::size_t>(std::max<std::uint64_t>(std::min(size, kPieceSize), 1));
  std::unique_ptr<unsigned char[]> piece(new unsigned char[pieceSize]);

  WOLFSSL_SHA256_CTX context;
  Require(wolfSSL_SHA256_Init(&context) == kWolfSuccess);
  for (std::uint64_t offset = 0; offset < size;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(size - offset, pieceSize));
    if (!source.ReadAt(offset, piece.get(), want)) return std::nullopt;
    Require(wolfSSL_SHA256_Update(&context, piece.get(), want) == kWolfSuccess);
    offset += want;
  }
  unsigned char digest[32];
  Require(wolfSSL_SHA256_Final(digest, &context) == kWolfSuccess);

  char text[65];
  text[64] = '\0';
  for (std::size_t i = 0; i < sizeof digest; ++i) {
    Require(vantu_sprintf_s(text + 2 * i, 65 - 2 * i, "%02x", static_cast<unsigned>(digest[i])) ==
            2);
  }
  return std::string(text, 64);
}

}  // namespace vantu::branding_package
