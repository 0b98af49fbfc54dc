#include <new>
#include <ostream>

#include "base/shown.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/commands.h"
#include "inspect/json.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

namespace {

void JsonRecord(std::ostream& out, const PackageRecord& r, const DecodedImage& decoded,
                bool withLayout) {
  out << "{\"offset\":" << r.offset << ",\"size\":" << r.size << ",\"type\":";
  switch (r.type) {
    case RecordType::kLayout:
      out << "\"layout\",\"textSize\":" << r.text.size();
      if (withLayout) out << ",\"text\":" << JsonString(r.text);
      break;
    case RecordType::kImage:
      out << "\"image\",\"name\":" << JsonString(r.name) << ",\"format\":\"" << FormatKey(r.format)
          << "\",\"dataOffset\":" << r.dataOffset << ",\"dataSize\":" << r.dataSize;
      if (decoded.ok) {
        out << ",\"width\":" << decoded.width << ",\"height\":" << decoded.height;
      } else {
        out << ",\"width\":null,\"height\":null";
      }
      break;
    case RecordType::kEnd:
      out << "\"end\"";
      break;
  }
  out << '}';
}

void TextRecord(std::ostream& out, const PackageRecord& r, const DecodedImage& decoded) {
  out << r.offset << '\t' << r.size << '\t';
  switch (r.type) {
    case RecordType::kLayout:
      out << "layout, text of " << r.text.size() << " bytes";
      break;
    case RecordType::kImage:
      out << "image " << Shown(r.name) << ", " << FormatName(r.format) << ", ";
      if (decoded.ok) {
        out << decoded.width << "x" << decoded.height << " pixels, ";
      } else {
        out << "does not decode, ";
      }
      out << r.dataSize << " bytes of data at " << r.dataOffset;
      break;
    case RecordType::kEnd:
      out << "end";
      break;
  }
  out << '\n';
}

// The end of the JSON object: the size of a sound package, or the fault.
void CloseJson(std::ostream& out, std::uint64_t fileSize, const std::optional<Fault>& fault) {
  out << ']';
  if (fault) {
    out << ",\"fault\":" << JsonFault(*fault);
  } else {
    out << ",\"size\":" << fileSize;
  }
  out << "}\n";
}

}  // namespace

int ListPackage(ByteSource& source, const std::string& path, bool json, bool withLayout,
                std::ostream& out, std::ostream& err) {
  const std::uint64_t fileSize = source.Size();
  // The table shows what the header says, which a truncated file contradicts.
  unsigned char header[kHeaderSize] = {};
  const std::uint64_t headerSize =
      source.ReadAt(0, header, kHeaderSize) ? DecodeHeader(header).size : fileSize;
  std::string layoutText;
  bool first = true;
  if (json) out << "{\"package\":" << JsonString(path) << ",\"records\":[";
  std::optional<Fault> fault;
  // Memory can run out part-way; the JSON object is closed with that fault all the same.
  try {
    fault = WalkPackage(
        source,
        [&](const PackageRecord& r, const ContentReader&) {
          const DecodedImage decoded = r.type == RecordType::kImage
                                           ? DecodeImage(source, r.dataOffset, r.dataSize, r.format)
                                           : DecodedImage{};
          if (json) {
            out << (first ? "" : ",");
            JsonRecord(out, r, decoded, withLayout);
          } else {
            // The table starts only once there is a record to show.
            if (first)
              out << "offset\tsize\trecord\n0\t12\theader, package size " << headerSize << '\n';
            TextRecord(out, r, decoded);
          }
          first = false;
          if (r.type == RecordType::kLayout) layoutText = r.text;
          return std::optional<Fault>();
        },
        true);
  } catch (const std::bad_alloc&) {
    fault = Fault{FaultKind::kFatal, kNoOffset, "out of memory"};
  }
  if (json) {
    CloseJson(out, fileSize, fault);
  } else if (withLayout && !layoutText.empty()) {
    out << '\n' << Shown(layoutText) << '\n';
  }
  out.flush();
  return fault ? ReportFault(err, path, *fault) : 0;
}

int ListPackage(const std::string& path, bool json, bool withLayout, std::ostream& out,
                std::ostream& err) {
  FileSource file(path);
  if (file.IsOpen()) return ListPackage(file, path, json, withLayout, out, err);
  if (json) {
    out << "{\"package\":" << JsonString(path) << ",\"records\":[";
    CloseJson(out, 0, CannotOpen(file));
    out.flush();
  }
  return ReportFault(err, path, CannotOpen(file));
}

}  // namespace vantu::branding_package
