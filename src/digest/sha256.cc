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

// What wolfSSL's SHA-256 calls return on success.
constexpr int kWolfSuccess = 1;

void Require(bool ok) {
  if (!ok) throw std::runtime_error("SHA-256 computation failed");
}

}  // namespace

std::optional<std::string> Sha256Hex(ByteSource& source) {
  WOLFSSL_SHA256_CTX context;
  Require(wolfSSL_SHA256_Init(&context) == kWolfSuccess);
  if (!ReadPieces(source, 0, source.Size(), [&](const unsigned char* piece, std::size_t size) {
        Require(wolfSSL_SHA256_Update(&context, piece, size) == kWolfSuccess);
        return true;
      })) {
    return std::nullopt;
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
