#include "inspect/package_walker.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image/image_format.h"
#include "package/package_format.h"

namespace vantu::branding_package {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class Walker {
 public:
  Walker(std::FILE* file, std::uint64_t length) : file_(file), length_(length) {}

  std::optional<Fault> Run(const RecordVisitor& visit) {
    if (length_ < kHeaderSize) {
      return Structure(0, "file of " + std::to_string(length_) +
                              " bytes is too short for the 12-byte package header");
    }
    unsigned char header[kHeaderSize];
    if (!ReadAt(0, header, sizeof header)) return ReadFault(0);
    if (GetU32(header) != length_) {
      return Structure(0, "package size field says " + std::to_string(GetU32(header)) +
                              " bytes, the file has " + std::to_string(length_));
    }
    if (auto fault = Constant(header + 4, 4, 0)) return fault;
    if (auto fault = Constant(header + 8, 8, 1)) return fault;

    bool layoutSeen = false;
    for (std::uint64_t offset = kHeaderSize;;) {
      if (length_ - offset < 8) {
        return Structure(offset, length_ == offset ? "no end record"
                                                   : "record head cut short by the end of the file");
      }
      unsigned char head[kImageHeadSize];
      if (!ReadAt(offset, head, 8)) return ReadFault(offset);
      PackageRecord record;
      record.offset = offset;
      record.size = GetU32(head);
      record.type = GetU32(head + 4);
      if (record.size < 8) {
        return Structure(offset, "record size " + std::to_string(record.size) +
                                     " is smaller than the record's own 8-byte head");
      }
      if (record.size > length_ - offset) {
        return Structure(offset, "record of " + std::to_string(record.size) +
                                     " bytes runs past the end of the file (" +
                                     std::to_string(length_ - offset) + " bytes left)");
      }
      std::optional<Fault> fault;
      switch (record.type) {
        case kLayoutRecord:
          if (layoutSeen) return Structure(offset, "second layout record");
          if (offset != kHeaderSize) return Structure(offset, "layout record is not the first record");
          layoutSeen = true;
          fault = Layout(record, head);
          break;
        case kImageRecord:
          if (!layoutSeen) return Structure(offset, "image record before the layout record");
          fault = Image(record, head);
          break;
        case kEndRecord:
          if (record.size != kEndRecordSize) {
            return Structure(offset, "end record size " + std::to_string(record.size) +
                                         ", must be 8");
          }
          if (!layoutSeen) return Structure(offset, "package holds no layout record");
          if (offset + kEndRecordSize != length_) {
            return Structure(offset, std::to_string(length_ - offset - kEndRecordSize) +
                                         " bytes follow the end record");
          }
          break;
        default:
          return Structure(offset + 4, "unknown record type " + std::to_string(record.type));
      }
      if (fault) return fault;
      const ContentReader content = [&](const auto& sink) { return Stream(record, sink); };
      if (auto visited = visit(record, content)) return visited;
      if (record.type == kEndRecord) return std::nullopt;
      offset += record.size;
    }
  }

 private:
  static Fault Structure(std::uint64_t offset, std::string message) {
    return {FaultKind::kStructure, offset, std::move(message)};
  }

  static Fault ReadFault(std::uint64_t offset) {
    return {FaultKind::kIo, offset, "cannot read the file"};
  }

  static std::optional<Fault> Constant(const unsigned char* field, std::uint64_t offset,
                                       std::uint32_t expected) {
    if (GetU32(field) == expected) return std::nullopt;
    return Structure(offset, "field holds " + std::to_string(GetU32(field)) + ", must be " +
                                 std::to_string(expected));
  }

  bool ReadAt(std::uint64_t offset, void* out, std::size_t size) {
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, size, file_) == size;
  }

  // Reads a zero-terminated string of size bytes at offset; what names it goes in messages.
  std::optional<Fault> String(std::uint64_t offset, std::uint32_t size, const char* what,
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

  std::optional<Fault> Layout(PackageRecord& record, unsigned char* head) {
    const std::uint64_t offset = record.offset;
    if (record.size < kLayoutHeadSize + 1) {
      return Structure(offset, "layout record of " + std::to_string(record.size) +
                                   " bytes is shorter than its 17-byte minimum");
    }
    if (!ReadAt(offset + 8, head + 8, 8)) return ReadFault(offset);
    if (auto fault = Constant(head + 8, offset + 8, 0)) return fault;
    const std::uint32_t textSize = GetU32(head + 12);
    if (textSize != record.size - kLayoutHeadSize) {
      return Structure(offset + 12, "text size " + std::to_string(textSize) +
                                        " does not fill the record (" +
                                        std::to_string(record.size - kLayoutHeadSize) + " bytes)");
    }
    return String(offset + kLayoutHeadSize, textSize, "layout text", record.text);
  }

  std::optional<Fault> Image(PackageRecord& record, unsigned char* head) {
    const std::uint64_t offset = record.offset;
    if (record.size < kImageHeadSize + 1) {
      return Structure(offset, "image record of " + std::to_string(record.size) +
                                   " bytes is shorter than its 29-byte minimum");
    }
    if (!ReadAt(offset + 8, head + 8, kImageHeadSize - 8)) return ReadFault(offset);
    record.format = GetU32(head + 8);
    if (record.format != kFormatPng && record.format != kFormatJpeg) {
      return Structure(offset + 8, "unknown image format " + std::to_string(record.format));
    }
    if (auto fault = Constant(head + 12, offset + 12, 0)) return fault;
    if (auto fault = Constant(head + 20, offset + 20, 0)) return fault;
    const std::uint32_t nameSize = GetU32(head + 16);
    record.dataSize = GetU32(head + 24);
    if (std::uint64_t{kImageHeadSize} + nameSize + record.dataSize != record.size) {
      return Structure(offset + 16, "name size " + std::to_string(nameSize) + " and data size " +
                                        std::to_string(record.dataSize) +
                                        " do not add up to the record size " +
                                        std::to_string(record.size));
    }
    if (auto fault = String(offset + kImageHeadSize, nameSize, "image name", record.name)) {
      return fault;
    }
    record.dataOffset = offset + kImageHeadSize + nameSize;
    unsigned char signature[kMinImageSize] = {};
    const std::size_t sampled = record.dataSize < sizeof signature ? record.dataSize : sizeof signature;
    if (!ReadAt(record.dataOffset, signature, sampled)) return ReadFault(record.dataOffset);
    const auto format = DetectImageFormat(signature, record.dataSize);
    if (!format) {
      return Fault{FaultKind::kImage, record.dataOffset,
                   "image data of " + record.name + " is neither PNG nor JPEG"};
    }
    if (*format != record.format) {
      return Fault{FaultKind::kImage, record.dataOffset,
                   "image data of " + record.name + " is " + FormatName(*format) +
                       ", the record says " + FormatName(record.format)};
    }
    return std::nullopt;
  }

  bool Stream(const PackageRecord& record,
              const std::function<bool(const unsigned char*, std::size_t)>& sink) {
    if (fseeko(file_, static_cast<off_t>(record.dataOffset), SEEK_SET) != 0) return false;
    std::vector<unsigned char> buffer(std::size_t{1} << 20);
    for (std::uint64_t left = record.dataSize; left > 0;) {
      const std::size_t want = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
      if (std::fread(buffer.data(), 1, want, file_) != want || !sink(buffer.data(), want)) {
        return false;
      }
      left -= want;
    }
    return true;
  }

  std::FILE* file_;
  std::uint64_t length_;
};

}  // namespace

std::optional<Fault> WalkPackage(const std::string& path, const RecordVisitor& visit) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  struct stat status {};
  if (!file || fstat(fileno(file.get()), &status) != 0 || !S_ISREG(status.st_mode)) {
    return Fault{FaultKind::kIo, 0, "cannot open the file"};
  }
  return Walker(file.get(), static_cast<std::uint64_t>(status.st_size)).Run(visit);
}

}  // namespace vantu::branding_package
