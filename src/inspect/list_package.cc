#include <filesystem>
#include <ostream>

#include "inspect/commands.h"
#include "image/image_format.h"
#include "inspect/json.h"
#include "package/package_format.h"

namespace vantu::branding_package {

namespace {

const char* FormatKey(std::uint32_t format) { return format == kFormatPng ? "png" : "jpeg"; }

const char* KindKey(FaultKind kind) {
  switch (kind) {
    case FaultKind::kIo: return "io";
    case FaultKind::kStructure: return "structure";
    case FaultKind::kImage: return "image";
    case FaultKind::kLayout: return "layout";
    case FaultKind::kReferences: return "references";
    case FaultKind::kDigest: return "digest";
    case FaultKind::kRefused: return "refused";
  }
  return "unknown";
}

void JsonRecord(std::ostream& out, const PackageRecord& r, bool withLayout) {
  out << "{\"offset\":" << r.offset << ",\"size\":" << r.size << ",\"type\":";
  if (r.type == kLayoutRecord) {
    out << "\"layout\",\"textSize\":" << r.text.size();
    if (withLayout) out << ",\"text\":" << JsonString(r.text);
  } else if (r.type == kImageRecord) {
    out << "\"image\",\"name\":" << JsonString(r.name) << ",\"format\":\"" << FormatKey(r.format)
        << "\",\"dataOffset\":" << r.dataOffset << ",\"dataSize\":" << r.dataSize;
  } else {
    out << "\"end\"";
  }
  out << '}';
}

void TextRecord(std::ostream& out, const PackageRecord& r) {
  out << r.offset << '\t' << r.size << '\t';
  if (r.type == kLayoutRecord) {
    out << "layout, text of " << r.text.size() << " bytes";
  } else if (r.type == kImageRecord) {
    out << "image " << r.name << ", " << FormatName(r.format) << ", "
        << r.dataSize << " bytes of data at " << r.dataOffset;
  } else {
    out << "end";
  }
  out << '\n';
}

}  // namespace

int ListPackage(const std::string& path, bool json, bool withLayout, std::ostream& out,
                std::ostream& err) {
  std::string layoutText;
  bool first = true;
  // The walker visits a record only once the header's size matched the file's length.
  std::error_code ignored;
  const std::uint64_t fileSize = std::filesystem::file_size(path, ignored);
  if (json) {
    out << "{\"package\":" << JsonString(path) << ",\"records\":[";
  } else {
    out << "offset\tsize\trecord\n";
  }
  const auto fault = WalkPackage(path, [&](const PackageRecord& r, const ContentReader&) {
    if (json) {
      out << (first ? "" : ",");
      JsonRecord(out, r, withLayout);
    } else {
      if (first) out << "0\t12\theader, package size " << fileSize << '\n';
      TextRecord(out, r);
    }
    first = false;
    if (r.type == kLayoutRecord) layoutText = r.text;
    return std::optional<Fault>();
  });
  if (json) {
    out << ']';
    if (!fault) out << ",\"size\":" << fileSize;
    if (fault) {
      out << ",\"fault\":{\"kind\":\"" << KindKey(fault->kind) << "\",\"offset\":" << fault->offset
          << ",\"message\":" << JsonString(fault->message) << '}';
    }
    out << "}\n";
  } else if (withLayout && !layoutText.empty()) {
    out << '\n' << layoutText << '\n';
  }
  out.flush();
  return fault ? ReportFault(err, path, *fault) : 0;
}

}  // namespace vantu::branding_package
