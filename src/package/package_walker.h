// Reading a package file record by record, checking its structure, without loading it whole.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/byte_source.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

// What the walker finds wrong with a package.
enum class WalkFaultKind {
  kIo,         // the file cannot be read
  kStructure,  // sizes, constants, record order or strings are wrong
  kImage       // an image's content is no PNG or JPEG, or not the format its record names
};

// The first fault found, with the byte offset of the file it is about.
struct WalkFault {
  WalkFaultKind kind;
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

// Sees every sound record in file order, the end record included; returning false stops
// the walk there. Records of an unknown type are a structure fault and never visited. An
// image's content is read from the source by its dataOffset and dataSize.
using RecordVisitor = std::function<bool(const PackageRecord& record)>;

// Walks the package in source: header, every record, the end record at the very end.
// Returns the first fault, or none for a package whose structure is sound (or whose walk
// the visitor stopped). A package whose size field disagrees with its length has that for
// its fault, after the records that are there (of a truncated package) were visited.
std::optional<WalkFault> WalkPackage(ByteSource& source, const RecordVisitor& visit);

}  // namespace vantu::branding_package
