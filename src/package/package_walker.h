// Reading a package file record by record, checking its structure, without loading it whole.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/byte_source.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

// What is wrong with a package; the value is the inspect tool's exit status.
enum class FaultKind : int {
  kIo = 2,          // the file cannot be opened or read
  kStructure = 3,   // sizes, constants, record order or strings are wrong
  kImage = 4,       // image content disagrees with its record
  kLayout = 5,      // the layout text does not parse or breaks a rule
  kReferences = 6,  // references and image names differ
  kDigest = 7,      // the file's SHA-256 differs from the one expected
  kRefused = 8,     // extract: an unsafe name, or a file that would be overwritten
  kFatal = 70,      // out of memory part-way
};

// Offset of a fault that is about no byte of the file (it cannot be opened, say).
constexpr std::uint64_t kNoOffset = UINT64_MAX;

// The first fault found, with the byte offset of the file it is about.
struct Fault {
  FaultKind kind;
  std::uint64_t offset;  // kNoOffset when no byte is at fault
  std::string message;
};

// One record as read; strings without their terminating zero.
struct PackageRecord {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  RecordType type = RecordType::kEnd;
  std::string text;              // layout record: the layout text
  std::uint32_t format = 0;      // image record: 0 PNG, 2 JPEG
  std::string name;              // image record: the image name
  std::uint32_t dataSize = 0;    // image record: bytes of content
  std::uint64_t dataOffset = 0;  // image record: where the content starts in the file
};

// Streams the content of the current image record to a sink, in pieces; false when the
// sink refuses a piece or the file cannot be read.
using ContentReader =
    std::function<bool(const std::function<bool(const unsigned char*, std::size_t)>& sink)>;

// Sees every sound record in file order, the end record included; a returned fault stops
// the walk. Records of an unknown type are a structure fault and never visited.
using RecordVisitor =
    std::function<std::optional<Fault>(const PackageRecord& record, const ContentReader& content)>;

// Walks the package in source: header, every record, the end record at the very end.
// Returns the first fault, or none for a package whose structure is sound. With
// throughSizeMismatch, a package whose size field disagrees with its length (a truncated
// one) still has the records that are there visited before that fault is returned.
std::optional<Fault> WalkPackage(ByteSource& source, const RecordVisitor& visit,
                                 bool throughSizeMismatch = false);

// The same on the file at path, which must be a regular file.
std::optional<Fault> WalkPackage(const std::string& path, const RecordVisitor& visit);

}  // namespace vantu::branding_package
