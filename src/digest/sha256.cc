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

struct Sha256Digest::Context {
  WOLFSSL_SHA256_CTX sha;
};

Sha256Digest::Sha256Digest() : context_(std::make_unique<Context>()) {
  Require(wolfSSL_SHA256_Init(&context_->sha) == kWolfSuccess);
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Update(const unsigned char* data, std::size_t size) {
  Require(wolfSSL_SHA256_Update(&context_->sha, data, size) == kWolfSuccess);
}

std::string Sha256Digest::Hex() {
  unsigned char digest[32];
  Require(wolfSSL_SHA256_Final(digest, &context_->sha) == kWolfSuccess);
  char text[65];
  text[64] = '\0';
  for (std::size_t i = 0; i < sizeof digest; ++i) {
    Require(vantu_sprintf_s(text + 2 * i, 65 - 2 * i, "%02x", static_cast<unsigned>(digest[i])) ==
            2);
  }
  return std::string(text, 64);
}

std::optional<std::string> Sha256Hex(ByteSource& source) {
  Sha256Digest digest;
  if (!ReadPieces(source, 0, source.Size(), [&](const unsigned char* piece, std::size_t size) {
        digest.Update(piece, size);
        return true;
      })) {
    return std::nullopt;
  }
  return digest.Hex();
}

}  // namespace vantu::branding_package
