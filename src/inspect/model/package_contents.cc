#include "inspect/model/package_contents.h"

#include "digest/sha256.h"

namespace vantu::branding_package {

Fault FaultOf(const WalkFault& fault) {
  switch (fault.kind) {
    case WalkFaultKind::kIo:
      return {Status::kIo, fault.offset, fault.message};
    case WalkFaultKind::kStructure:
      return {Status::kStructure, fault.offset, fault.message};
    case WalkFaultKind::kImage:
      return {Status::kImage, fault.offset, fault.message};
  }
  return {Status::kStructure, fault.offset, fault.message};
}

PackageContents ReadPackageContents(ByteSource& source, FileDigest digest, Learn learn) {
  PackageContents contents;
  contents.fileSize = source.Size();
  // The digest first: a file that changes during the walk then no longer matches it, which
  // extract checks after writing.
  std::optional<std::string> sha256 =
      digest == FileDigest::kFirst ? Sha256Hex(source) : std::optional<std::string>("");
  if (!sha256) {
    contents.fault = Fault{Status::kIo, kNoOffset, "cannot read the file: " + source.ReadFailure()};
    return contents;
  }
  contents.sha256 = std::move(*sha256);
  unsigned char header[kHeaderSize] = {};
  if (source.ReadAt(0, header, kHeaderSize)) contents.headerSize = DecodeHeader(header).size;
  std::optional<Fault> unreadable;
  const std::optional<WalkFault> fault = WalkPackage(source, [&](const PackageRecord& r) {
    StoredRecord record{r.offset, r.size, r.type, contents.images.size()};
    contents.records.push_back(record);
    if (r.type == RecordType::kLayout) {
      contents.hasLayout = true;
      contents.layoutText = r.text;
      contents.layoutTextOffset = r.offset + kLayoutHeadSize;
    }
    if (r.type != RecordType::kImage) return true;
    std::optional<ImageFacts> image =
        LearnImage(source, {r.name, r.format, r.dataSize, {}, "", r.offset, r.dataOffset}, learn);
    if (!image) {
      unreadable =
          Fault{Status::kIo, r.dataOffset, "cannot read the file: " + source.ReadFailure()};
      return false;
    }
    contents.images.push_back(std::move(*image));
    return true;
  });
  if (fault) {
    contents.fault = FaultOf(*fault);
  } else {
    contents.fault = unreadable;
  }
  if (digest == FileDigest::kSound && !contents.fault) {
    if (auto whole = Sha256Hex(source)) {
      contents.sha256 = std::move(*whole);
    } else {
      contents.fault =
          Fault{Status::kIo, kNoOffset, "cannot read the file: " + source.ReadFailure()};
    }
  }
  return contents;
}

}  // namespace vantu::branding_package
