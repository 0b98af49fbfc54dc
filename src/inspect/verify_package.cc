#include <algorithm>
#include <cctype>
#include <ostream>
#include <vector>

#include "base/shown.h"
#include "digest/sha256.h"
#include "inspect/commands.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"
#include "package/name_match.h"

namespace vantu::branding_package {

namespace {

struct Reference {
  std::string name;
  std::uint64_t offset;
};

// Parses the stored layout text and applies the packager's rules; offsets are the file's.
std::optional<Fault> CheckLayoutText(const PackageRecord& record,
                                     std::vector<Reference>& references) {
  const std::uint64_t textOffset = record.offset + kLayoutHeadSize;
  std::vector<char> document(record.text.begin(), record.text.end());
  document.push_back('\0');
  rapidxml::xml_document<char> parsed;
  try {
    ParseLayout(document, parsed);
  } catch (const LayoutSyntaxError& e) {
    return Fault{FaultKind::kLayout, textOffset + e.offset, std::string("layout text: ") + e.what()};
  }
  auto offsetOf = [&](const LayoutNode* node) {
    return node == nullptr ? textOffset
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
                                const std::vector<Reference>& images) {
  std::vector<std::string> referenceNames;
  std::vector<std::string> imageNames;
  referenceNames.reserve(references.size());
  imageNames.reserve(images.size());
  for (const Reference& r : references) referenceNames.push_back(r.name);
  for (const Reference& image : images) imageNames.push_back(image.name);
  const NameMismatches mismatches = MatchNames(referenceNames, imageNames);
  const std::size_t count = mismatches.references.size() + mismatches.resources.size();
  if (count == 0) return std::nullopt;
  // Only the first difference is reported; the rest are counted.
  const bool unmatchedReference = !mismatches.references.empty();
  const Reference& at = unmatchedReference ? references[mismatches.references[0]]
                                           : images[mismatches.resources[0]];
  Fault first{FaultKind::kReferences, at.offset,
              (unmatchedReference ? kNoResourceFound : kNoReferenceFound) + at.name};
  if (count > 1) first.message += " (and " + std::to_string(count - 1) + " more)";
  return first;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
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
                  const std::optional<std::string>& expectedSha256, std::ostream& out,
                  std::ostream& err) {
  std::vector<Reference> references;
  std::vector<Reference> images;
  std::uint64_t size = 0;
  auto fault = WalkPackage(source, [&](const PackageRecord& record, const ContentReader&) {
    size = record.offset + record.size;
    switch (record.type) {
      case RecordType::kLayout:
        return CheckLayoutText(record, references);
      case RecordType::kImage:
        images.push_back({record.name, record.offset});
        return std::optional<Fault>();
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
    } else if (*actual != Lower(*expectedSha256)) {
      fault = Fault{FaultKind::kDigest, kNoOffset,
                    "SHA-256 is " + *actual + ", expected " + *expectedSha256};
    }
  }
  if (fault) return ReportFault(err, path, *fault);
  out << Shown(path) << ": sound package of " << size << " bytes, " << images.size()
      << (images.size() == 1 ? " image" : " images") << std::endl;
  return 0;
}

int VerifyPackage(const std::string& path, const std::optional<std::string>& expectedSha256,
                  std::ostream& out, std::ostream& err) {
  FileSource file(path);
  if (!file.IsOpen()) return ReportFault(err, path, CannotOpen(file));
  return VerifyPackage(file, path, expectedSha256, out, err);
}

}  // namespace vantu::branding_package
