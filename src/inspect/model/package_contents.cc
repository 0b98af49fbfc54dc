#include "inspect/model/package_contents.h"

#include "digest/sha256.h"

namespace vantu::branding_package {

PackageContents ReadPackageContents(ByteSource& source) {
  PackageContents contents;
  contents.fileSize = source.Size();
  // The digest first: a file that changes during the walk then no longer matches it, which
  // extract checks after writing.
  std::optional<std::string> digest = Sha256Hex(source);
  if (!digest) {
    contents.fault =
        Fault{FaultKind::kIo, kNoOffset, "cannot read the file: " + source.ReadFailure()};
    return contents;
  }
  contents.sha256 = std::move(*digest);
  unsigned char header[kHeaderSize] = {};
  if (source.ReadAt(0, header, kHeaderSize)) contents.headerSize = DecodeHeader(header).size;
  contents.fault = WalkPackage(
      source,
      [&](const PackageRecord& r, const ContentReader&) -> std::optional<Fault> {
        StoredRecord record{r.offset, r.size, r.type, contents.images.size()};
        contents.records.push_back(record);
        if (r.type == RecordType::kLayout) {
          contents.hasLayout = true;
          contents.layoutText = r.text;
          contents.layoutTextOffset = r.offset + kLayoutHeadSize;
        }
        if (r.type != RecordType::kImage) return std::nullopt;
        SliceSource data(source, r.dataOffset, r.dataSize);
        std::optional<std::string> sha256 = Sha256Hex(data);
        if (!sha256) {
          return Fault{FaultKind::kIo, r.dataOffset,
                       "cannot read the file: " + source.ReadFailure()};
        }
        contents.images.push_back({r.name, r.offset, r.format, r.dataOffset, r.dataSize,
                                   DecodeImage(source, r.dataOffset, r.dataSize, r.format),
                                   std::move(*sha256)});
        return std::nullopt;
      },
      true);
  return contents;
}

}  // namespace vantu::branding_package
