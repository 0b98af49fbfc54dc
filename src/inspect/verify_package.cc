#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

#include <cstring>
#include <unordered_map>

#include "base/ascii.h"
#include "base/shown.h"
#include "base/utf8.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/commands.h"
#include "inspect/json.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"
#include "package/extract_names.h"
#include "package/name_match.h"

namespace vantu::branding_package {

namespace {

struct Reference {
  std::string name;
  std::uint64_t offset;
};

// What verify learned of one image.
struct ImageFacts {
  std::string name;
  std::uint64_t offset;
  std::uint32_t format;
  std::uint64_t dataOffset;
  std::uint32_t dataSize;
  DecodedImage decoded;
};

// Parses the stored layout text and applies the packager's rules; offsets are the file's.
std::optional<Fault> CheckLayoutText(const PackageRecord& record,
                                     std::vector<Reference>& references) {
  const std::uint64_t textOffset = record.offset + kLayoutHeadSize;
  if (auto bad = FirstNonUtf8(record.text)) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(record.text[*bad]));
    return Fault{FaultKind::kLayout, textOffset + *bad,
                 std::string("layout text is not UTF-8: byte ") + byte};
  }
  std::vector<char> document(record.text.begin(), record.text.end());
  document.push_back('\0');
  rapidxml::xml_document<char> parsed;
  try {
    ParseLayout(document, parsed);
  } catch (const LayoutSyntaxError& e) {
    return Fault{FaultKind::kLayout, textOffset + e.offset,
                 std::string("layout text: ") + e.what()};
  }
  auto offsetOf = [&](const LayoutNode* node) {
    return node == nullptr
               ? textOffset
               : textOffset + static_cast<std::uint64_t>(node->name() - document.data());
  };
  std::optional<Fault> fault;
  CheckLayoutRules(
      parsed.first_node(),
      [&](const LayoutNode& element, std::string_view name) {
        references.push_back({std::string(name), offsetOf(&element)});
      },
      [&](const LayoutNode* node, const std::string& message) {
        fault = Fault{FaultKind::kLayout, offsetOf(node), "layout text: " + message};
        return false;
      });
  return fault;
}

// Every distinct reference must name an image, and every image must be referenced.
std::optional<Fault> CheckNames(const std::vector<Reference>& references,
                                const std::vector<ImageFacts>& images) {
  const NameMismatches mismatches = MatchNames(
      references, [](const Reference& r) { return std::string_view(r.name); }, images,
      [](const ImageFacts& image) { return std::string_view(image.name); });
  const std::size_t count = mismatches.references.size() + mismatches.resources.size();
  if (count == 0) return std::nullopt;
  // Only the first difference is reported; the rest are counted.
  const bool unmatchedReference = !mismatches.references.empty();
  const Fault first =
      unmatchedReference
          ? Fault{FaultKind::kReferences, references[mismatches.references[0]].offset,
                  kNoResourceFound + references[mismatches.references[0]].name}
          : Fault{FaultKind::kReferences, images[mismatches.resources[0]].offset,
                  kNoReferenceFound + images[mismatches.resources[0]].name};
  Fault reported = first;
  if (count > 1) reported.message += " (and " + std::to_string(count - 1) + " more)";
  return reported;
}

// Whether two ranges of source hold the same bytes.
bool SameData(ByteSource& source, std::uint64_t a, std::uint64_t b, std::uint64_t size) {
  std::vector<unsigned char> left(64 << 10);
  std::vector<unsigned char> right(left.size());
  for (std::uint64_t done = 0; done < size;) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, left.size()));
    if (!source.ReadAt(a + done, left.data(), piece) ||
        !source.ReadAt(b + done, right.data(), piece) ||
        std::memcmp(left.data(), right.data(), piece) != 0) {
      return false;
    }
    done += piece;
  }
  return true;
}

// What a client and extract need of an image: a name that can be a file, one content per
// name, and content that decodes.
std::optional<Fault> CheckImage(ByteSource& source, const PackageRecord& record,
                                std::vector<ImageFacts>& images,
                                std::unordered_map<std::string, std::size_t>& byName) {
  if (!IsExtractableName(record.name)) {
    return Fault{FaultKind::kRefused, record.offset + kImageHeadSize,
                 "extract would refuse an image named \"" + record.name + "\""};
  }
  const auto [seen, added] = byName.emplace(record.name, images.size());
  if (!added) {
    const ImageFacts& first = images[seen->second];
    if (first.dataSize != record.dataSize ||
        !SameData(source, first.dataOffset, record.dataOffset, record.dataSize)) {
      return Fault{FaultKind::kRefused, record.offset,
                   "image name " + record.name + " is stored twice with different content"};
    }
  }
  ImageFacts facts{
      record.name,     record.offset,
      record.format,   record.dataOffset,
      record.dataSize, DecodeImage(source, record.dataOffset, record.dataSize, record.format)};
  if (!facts.decoded.ok) {
    return Fault{FaultKind::kImage, record.dataOffset,
                 "image data of " + record.name + " does not decode as " +
                     FormatName(record.format) + ": " + facts.decoded.problem};
  }
  images.push_back(std::move(facts));
  return std::nullopt;
}

void PrintJson(std::ostream& out, const std::string& path, std::uint64_t size,
               const std::vector<ImageFacts>& images, const std::optional<Fault>& fault) {
  out << "{\"package\":" << JsonString(path) << ",\"sound\":" << (fault ? "false" : "true")
      << ",\"size\":" << size << ",\"images\":[";
  for (std::size_t i = 0; i < images.size(); ++i) {
    const ImageFacts& image = images[i];
    out << (i == 0 ? "" : ",") << "{\"name\":" << JsonString(image.name) << ",\"format\":\""
        << FormatKey(image.format) << "\",\"width\":" << image.decoded.width
        << ",\"height\":" << image.decoded.height << ",\"dataSize\":" << image.dataSize << '}';
  }
  out << "],\"fault\":" << (fault ? JsonFault(*fault) : "null") << "}\n";
}

}  // namespace

Fault CannotOpen(const FileSource& file) {
  return {FaultKind::kIo, kNoOffset, "cannot open the file: " + file.OpenFailure()};
}

int ReportFault(std::ostream& err, const std::string& path, const Fault& fault) {
  err << Shown(path) << ": ";
  if (fault.offset != kNoOffset) err << "offset " << fault.offset << ": ";
  err << Shown(fault.message) << std::endl;
  return static_cast<int>(fault.kind);
}

int VerifyPackage(ByteSource& source, const std::string& path,
                  const std::optional<std::string>& expectedSha256, bool json, std::ostream& out,
                  std::ostream& err) {
  std::vector<Reference> references;
  std::vector<ImageFacts> images;
  std::unordered_map<std::string, std::size_t> byName;
  auto fault = WalkPackage(source, [&](const PackageRecord& record, const ContentReader&) {
    switch (record.type) {
      case RecordType::kLayout:
        return CheckLayoutText(record, references);
      case RecordType::kImage:
        return CheckImage(source, record, images, byName);
      case RecordType::kEnd:
        return CheckNames(references, images);
    }
    return std::optional<Fault>();
  });
  if (!fault && expectedSha256) {
    // The same descriptor the walk read: what was checked is what is digested.
    const std::optional<std::string> actual = Sha256Hex(source);
    if (!actual) {
      fault = Fault{FaultKind::kIo, kNoOffset, "cannot read the file: " + source.ReadFailure()};
    } else if (*actual != AsciiLower(*expectedSha256)) {
      fault = Fault{FaultKind::kDigest, kNoOffset,
                    "SHA-256 is " + *actual + ", expected " + *expectedSha256};
    }
  }
  if (json) {
    PrintJson(out, path, source.Size(), images, fault);
    out.flush();
    return fault ? static_cast<int>(fault->kind) : 0;
  }
  if (fault) return ReportFault(err, path, *fault);
  out << Shown(path) << ": sound package of " << source.Size() << " bytes, " << images.size()
      << (images.size() == 1 ? " image" : " images") << '\n';
  for (const ImageFacts& image : images) {
    out << "  " << Shown(image.name) << ": " << FormatName(image.format) << ", "
        << image.decoded.width << "x" << image.decoded.height << " pixels, " << image.dataSize
        << " bytes\n";
  }
  out.flush();
  return 0;
}

int VerifyPackage(const std::string& path, const std::optional<std::string>& expectedSha256,
                  bool json, std::ostream& out, std::ostream& err) {
  FileSource file(path);
  if (file.IsOpen()) return VerifyPackage(file, path, expectedSha256, json, out, err);
  if (!json) return ReportFault(err, path, CannotOpen(file));
  PrintJson(out, path, 0, {}, CannotOpen(file));
  return static_cast<int>(FaultKind::kIo);
}

}  // namespace vantu::branding_package
