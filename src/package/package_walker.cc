#include "package/package_walker.h"

#include <vector>

#include "image/image_format.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

namespace {

class Walker {
 public:
  explicit Walker(ByteSource& source) : source_(source), length_(source.Size()) {}

  std::optional<WalkFault> Run(const RecordVisitor& visit) {
    if (length_ < kHeaderSize) {
      return Structure(0, "file of " + std::to_string(length_) +
                              " bytes is too short for the 12-byte package header");
    }
    unsigned char bytes[kHeaderSize];
    if (!ReadAt(0, bytes, sizeof bytes)) return ReadFault(0);
    const PackageHeader header = DecodeHeader(bytes);
    // A file that is no package at all is told apart from a damaged one.
    if (header.zero != 0 || header.one != 1) {
      return Structure(kNoOffset,
                       "not a branding package: the header does not hold the "
                       "format's constants 0 and 1");
    }
    if (header.size != length_) {
      const WalkFault mismatch =
          Structure(0, "package size field says " + std::to_string(header.size) +
                           " bytes, the file has " + std::to_string(length_));
      // The records that are there are still shown; the mismatch stays the fault.
      Records(visit);
      return mismatch;
    }
    return Records(visit);
  }

 private:
  std::optional<WalkFault> Records(const RecordVisitor& visit) {
    bool layoutSeen = false;
    for (std::uint64_t offset = kHeaderSize;;) {
      if (length_ - offset < kRecordHeadSize) {
        return Structure(offset, length_ == offset
                                     ? "no end record"
                                     : "record head cut short by the end of the file");
      }
      unsigned char head[kImageHeadSize];
      if (!ReadAt(offset, head, kRecordHeadSize)) return ReadFault(offset);
      const RecordHead recordHead = DecodeRecordHead(head);
      PackageRecord record;
      record.offset = offset;
      record.size = recordHead.size;
      if (record.size < kRecordHeadSize) {
        return Structure(offset, "record size " + std::to_string(record.size) +
                                     " is smaller than the record's own 8-byte head");
      }
      if (record.size > length_ - offset) {
        return Structure(offset, "record of " + std::to_string(record.size) +
                                     " bytes runs past the end of the file (" +
                                     std::to_string(length_ - offset) + " bytes left)");
      }
      std::optional<WalkFault> fault;
      switch (recordHead.type) {
        case static_cast<std::uint32_t>(RecordType::kLayout):
          record.type = RecordType::kLayout;
          // Any record before it ends the walk, so a layout not seen yet is the first record.
          if (layoutSeen) return Structure(offset, "second layout record");
          layoutSeen = true;
          fault = Layout(record, head);
          break;
        case static_cast<std::uint32_t>(RecordType::kImage):
          record.type = RecordType::kImage;
          if (!layoutSeen) return Structure(offset, "image record before the layout record");
          fault = Image(record, head);
          break;
        case static_cast<std::uint32_t>(RecordType::kEnd):
          record.type = RecordType::kEnd;
          if (record.size != kEndRecordSize) {
            return Structure(offset,
                             "end record size " + std::to_string(record.size) + ", must be 8");
          }
          if (!layoutSeen) return Structure(offset, "package holds no layout record");
          if (offset + kEndRecordSize != length_) {
            return Structure(offset, std::to_string(length_ - offset - kEndRecordSize) +
                                         " bytes follow the end record");
          }
          break;
        default:
          return Structure(offset + kRecordTypeField,
                           "unknown record type " + std::to_string(recordHead.type));
      }
      if (fault) return fault;
      if (!visit(record)) return std::nullopt;
      if (record.type == RecordType::kEnd) return std::nullopt;
      offset += record.size;
    }
  }

  static WalkFault Structure(std::uint64_t offset, std::string message) {
    return {WalkFaultKind::kStructure, offset, std::move(message)};
  }

  WalkFault ReadFault(std::uint64_t offset) const {
    return {WalkFaultKind::kIo, offset, "cannot read the file: " + source_.ReadFailure()};
  }

  static std::optional<WalkFault> Constant(std::uint32_t value, std::uint64_t offset,
                                           std::uint32_t expected) {
    if (value == expected) return std::nullopt;
    return Structure(
        offset, "field holds " + std::to_string(value) + ", must be " + std::to_string(expected));
  }

  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) {
    return source_.ReadAt(offset, out, size);
  }

  // Reads a zero-terminated string of size bytes at offset; what names it goes in messages.
  // The record holding it fits the file, so what is allocated is bounded by the file's own
  // size: every package the packager writes can be read.
  std::optional<WalkFault> String(std::uint64_t offset, std::uint32_t size, const char* what,
                                  std::string& out) {
    if (size == 0) return Structure(offset, std::string(what) + " has no terminating zero byte");
    out.resize(size);
    if (!ReadAt(offset, out.data(), size)) return ReadFault(offset);
    if (out.back() != '\0') {
      return Structure(offset + size - 1, std::string(what) + " is not terminated by a zero byte");
    }
    out.pop_back();
    const std::size_t zero = out.find('\0');
    if (zero != std::string::npos) {
      return Structure(offset + zero, std::string(what) + " holds a zero byte");
    }
    return std::nullopt;
  }

  std::optional<WalkFault> Layout(PackageRecord& record, unsigned char* head) {
    const std::uint64_t offset = record.offset;
    if (record.size < LayoutRecordSize(0)) {
      return Structure(offset, "layout record of " + std::to_string(record.size) +
                                   " bytes is shorter than its 17-byte minimum");
    }
    if (!ReadAt(offset + kRecordHeadSize, head + kRecordHeadSize,
                kLayoutHeadSize - kRecordHeadSize)) {
      return ReadFault(offset);
    }
    const LayoutHead layout = DecodeLayoutHead(head);
    if (auto fault = Constant(layout.zero, offset + kLayoutZeroField, 0)) return fault;
    if (layout.textSize != record.size - kLayoutHeadSize) {
      return Structure(offset + kLayoutTextSizeField,
                       "text size " + std::to_string(layout.textSize) +
                           " does not fill the record (" +
                           std::to_string(record.size - kLayoutHeadSize) + " bytes)");
    }
    return String(offset + kLayoutHeadSize, layout.textSize, "layout text", record.text);
  }

  std::optional<WalkFault> Image(PackageRecord& record, unsigned char* head) {
    const std::uint64_t offset = record.offset;
    if (record.size < ImageRecordSize(0, 0)) {
      return Structure(offset, "image record of " + std::to_string(record.size) +
                                   " bytes is shorter than its 29-byte minimum");
    }
    if (!ReadAt(offset + kRecordHeadSize, head + kRecordHeadSize,
                kImageHeadSize - kRecordHeadSize)) {
      return ReadFault(offset);
    }
    record.format = ImageHeadField(head, kImageFormatField);
    if (record.format != kFormatPng && record.format != kFormatJpeg) {
      return Structure(offset + kImageFormatField,
                       "unknown image format " + std::to_string(record.format));
    }
    for (const std::size_t zero : {kImageZeroField, kImageSecondZeroField}) {
      if (auto fault = Constant(ImageHeadField(head, zero), offset + zero, 0)) return fault;
    }
    record.dataSize = ImageHeadField(head, kImageDataSizeField);
    const std::uint32_t nameSize = ImageHeadField(head, kImageNameSizeField);
    if (std::uint64_t{kImageHeadSize} + nameSize + record.dataSize != record.size) {
      return Structure(offset + kImageNameSizeField,
                       "name size " + std::to_string(nameSize) + " and data size " +
                           std::to_string(record.dataSize) + " do not add up to the record size " +
                           std::to_string(record.size));
    }
    if (auto fault = String(offset + kImageHeadSize, nameSize, "image name", record.name)) {
      return fault;
    }
    record.dataOffset = offset + kImageHeadSize + nameSize;
    unsigned char signature[kMinImageSize] = {};
    const std::size_t sampled =
        record.dataSize < sizeof signature ? record.dataSize : sizeof signature;
    if (!ReadAt(record.dataOffset, signature, sampled)) return ReadFault(record.dataOffset);
    const auto format = DetectImageFormat(signature, record.dataSize);
    if (!format) {
      return WalkFault{WalkFaultKind::kImage, record.dataOffset,
                       "image data of " + record.name + " is neither PNG nor JPEG"};
    }
    if (*format != record.format) {
      return WalkFault{WalkFaultKind::kImage, record.dataOffset,
                       "image data of " + record.name + " is " + FormatName(*format) +
                           ", the record says " + FormatName(record.format)};
    }
    return std::nullopt;
  }

  ByteSource& source_;
  std::uint64_t length_;
};

}  // namespace

std::optional<WalkFault> WalkPackage(ByteSource& source, const RecordVisitor& visit) {
  return Walker(source).Run(visit);
}

}  // namespace vantu::branding_package
