#include <ostream>

#include "base/shown.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/json.h"
#include "inspect/model/package_contents.h"

namespace vantu::branding_package {

namespace {

void JsonRecord(std::ostream& out, const PackageContents& contents, const StoredRecord& r,
                bool withLayout) {
  out << "{\"offset\":" << r.offset << ",\"size\":" << r.size << ",\"type\":";
  switch (r.type) {
    case RecordType::kLayout:
      out << "\"layout\",\"textSize\":" << contents.layoutText.size();
      if (withLayout) out << ",\"text\":" << JsonString(contents.layoutText);
      break;
    case RecordType::kImage: {
      const ImageFacts& image = contents.images[r.image];
      out << "\"image\"," << JsonImageFields(image) << ",\"dataOffset\":" << image.dataOffset
          << ",\"dataSize\":" << image.size;
      break;
    }
    case RecordType::kEnd:
      out << "\"end\"";
      break;
  }
  out << '}';
}

void TextRecord(std::ostream& out, const PackageContents& contents, const StoredRecord& r) {
  out << r.offset << '\t' << r.size << '\t';
  switch (r.type) {
    case RecordType::kLayout:
      out << "layout, text of " << contents.layoutText.size() << " bytes";
      break;
    case RecordType::kImage: {
      const ImageFacts& image = contents.images[r.image];
      out << "image " << Shown(image.name) << ", " << FormatName(image.format) << ", "
          << PixelsText(image) << ", " << image.size << " bytes of data at " << image.dataOffset;
      break;
    }
    case RecordType::kEnd:
      out << "end";
      break;
  }
  out << '\n';
}

}  // namespace

int ListPackage(ByteSource& source, const std::string& path, const ListOptions& options,
                std::ostream& out, std::ostream& err) {
  // The pixels are shown, and the package's own digest; the images' are not.
  const PackageContents contents = ReadPackageContents(source, FileDigest::kSound, Learn::kPixels);
  const int status = contents.fault ? static_cast<int>(contents.fault->kind) : 0;
  if (options.json) {
    out << JsonHead("list", path, status) << ",\"records\":[";
    for (std::size_t i = 0; i < contents.records.size(); ++i) {
      if (i > 0) out << ',';
      JsonRecord(out, contents, contents.records[i], options.withLayout);
    }
    out << ']';
    if (!contents.fault) {
      out << ",\"size\":" << contents.fileSize << ",\"sha256\":" << JsonString(contents.sha256);
    }
    out << JsonTail({}, contents.fault);
  } else if (!contents.records.empty()) {
    // The table shows what the header says, which a truncated file contradicts.
    out << "offset\tsize\trecord\n0\t12\theader, package size " << contents.headerSize << '\n';
    for (const StoredRecord& r : contents.records) TextRecord(out, contents, r);
    if (!contents.fault) out << "SHA-256: " << contents.sha256 << '\n';
    if (options.withLayout && !contents.layoutText.empty()) {
      out << '\n' << Shown(contents.layoutText) << '\n';
    }
  }
  out.flush();
  return contents.fault ? ReportFault(err, path, *contents.fault) : 0;
}

int ListPackage(const std::string& path, const ListOptions& options, std::ostream& out,
                std::ostream& err) {
  FileSource file(path);
  if (file.IsOpen()) return ListPackage(file, path, options, out, err);
  return ReportFault(err, path, CannotOpen(file));
}

}  // namespace vantu::branding_package
