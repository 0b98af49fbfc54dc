// The digest stage: the SHA-256 of a package's bytes, computed with wolfSSL.
#pragma once

#include <optional>
#include <string>

#include "base/byte_source.h"

namespace vantu::branding_package {

// The SHA-256 of all source.Size() bytes of source in 64 lower-case hex digits; none when a
// read fails. Throws std::runtime_error when the digest itself cannot be computed.
std::optional<std::string> Sha256Hex(ByteSource& source);

}  // namespace vantu::branding_package
