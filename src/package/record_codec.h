// The package file's records: their types, fixed fields and sizes, encoded and decoded in one
// place. Every integer is an unsigned 32-bit little-endian number; there is no padding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantu::branding_package {

// What a record holds, as stored in its second field.
enum class RecordType : std::uint32_t {
  kLayout = 1,  // the layout text; first and only once
  kImage = 2,   // one image: format, name and content
  kEnd = 3,     // closes the package
};

// Package header: size, then the constants 0 and 1.
constexpr std::size_t kHeaderSize = 12;
// Every record starts with its size and its type.
constexpr std::size_t kRecordHeadSize = 8;
// Fixed fields ahead of the layout text: size, type, 0, text size.
constexpr std::size_t kLayoutHeadSize = 16;
// Fixed fields ahead of the image name: size, type, format, 0, name size, 0, data size.
constexpr std::size_t kImageHeadSize = 28;
// End record: size 8, type 3.
constexpr std::size_t kEndRecordSize = 8;
// Largest size any record or the whole package may have.
constexpr std::uint64_t kMaxPackageSize = UINT32_MAX;

// Offsets of the fields inside the header and the record heads, for encoding and for
// naming the byte a fault is about.
constexpr std::size_t kHeaderZeroField = 4;
constexpr std::size_t kHeaderOneField = 8;
constexpr std::size_t kRecordTypeField = 4;
constexpr std::size_t kLayoutZeroField = 8;
constexpr std::size_t kLayoutTextSizeField = 12;
constexpr std::size_t kImageFormatField = 8;
constexpr std::size_t kImageZeroField = 12;
constexpr std::size_t kImageNameSizeField = 16;
constexpr std::size_t kImageSecondZeroField = 20;
constexpr std::size_t kImageDataSizeField = 24;

// The header's fields as stored.
struct PackageHeader {
  std::uint32_t size;  // the whole package
  std::uint32_t zero;  // always 0
  std::uint32_t one;   // always 1
};

// The two fields every record starts with.
struct RecordHead {
  std::uint32_t size;  // the whole record, head included
  std::uint32_t type;  // a RecordType, unless the file is corrupt
};

// The layout record's fixed fields behind its record head.
struct LayoutHead {
  std::uint32_t zero;      // always 0
  std::uint32_t textSize;  // text length plus its terminating zero byte
};

// Record size of a layout text of textLength bytes (n + 17).
constexpr std::uint64_t LayoutRecordSize(std::uint64_t textLength) {
  return kLayoutHeadSize + textLength + 1;
}

// Record size of an image named by nameLength bytes with dataSize bytes (m + d + 29).
constexpr std::uint64_t ImageRecordSize(std::uint64_t nameLength, std::uint64_t dataSize) {
  return kImageHeadSize + nameLength + 1 + dataSize;
}

// Writes the header of a package of packageSize bytes into out[0..11].
void EncodeHeader(unsigned char* out, std::uint32_t packageSize);
// Reads the header from in[0..11].
PackageHeader DecodeHeader(const unsigned char* in);

// Reads the size and type every record starts with from in[0..7].
RecordHead DecodeRecordHead(const unsigned char* in);

// Writes the layout record's head for a text of textLength bytes into out[0..15]; the
// text and its zero byte follow it. textLength must keep the record within 32 bits.
void EncodeLayoutHead(unsigned char* out, std::uint32_t textLength);
// Reads the layout fields from a record head at in[0..15].
LayoutHead DecodeLayoutHead(const unsigned char* in);

// Writes the image record's head into out[0..27]; the name, its zero byte and the content
// follow it. The sizes must keep the record within 32 bits.
void EncodeImageHead(unsigned char* out, std::uint32_t format, std::uint32_t nameLength,
                     std::uint32_t dataSize);
// Reads one field of an image record's head at in[0..27], field its offset: the format
// (kImageFormatField: 0 PNG, 2 JPEG), the zeros (kImageZeroField, kImageSecondZeroField),
// the name's size with its zero byte (kImageNameSizeField) or the content's
// (kImageDataSizeField).
std::uint32_t ImageHeadField(const unsigned char* in, std::size_t field);

// Writes the end record into out[0..7].
void EncodeEndRecord(unsigned char* out);

}  // namespace vantu::branding_package
