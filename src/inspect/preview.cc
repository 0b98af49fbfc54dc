#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

#include "base/replaced_file.h"
#include "base/shown.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/commands.h"
#include "inspect/lint_findings.h"
#include "inspect/preview_page.h"
#include "layout/layout_text.h"
#include "package/records.h"
#include "package/write_package.h"

namespace vantu::branding_package {

namespace {

// Writes page to outputPath whole or not at all.
int WritePage(const std::string& page, const std::string& outputPath, std::ostream& out,
              std::ostream& err) {
  ReplacedFile output(outputPath, true);
  if (output.IsOpen()) output.File().Write(page.data(), page.size());
  if (!output.IsOpen() || !output.Close() || !output.Publish()) {
    err << Shown(outputPath) << ": cannot write the page: " << std::strerror(errno) << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }
  out << Shown(outputPath) << '\n';
  out.flush();
  return 0;
}

// The findings lint has about a stored layout text, which verify found sound.
std::vector<Finding> TextFindings(const std::string& text) {
  std::vector<LintedImage> none;
  return LintFindings("layout text", text, {}, none);
}

}  // namespace

int PreviewPackage(const std::string& path, const std::string& outputPath, std::ostream& out,
                   std::ostream& err) {
  FileSource source(path);
  if (!source.IsOpen()) return ReportFault(err, path, CannotOpen(source));
  // What cannot be verified is not previewed; verify's own report says why.
  std::ostringstream ignored;
  if (const int status = VerifyPackage(source, path, std::nullopt, false, ignored, err)) {
    return status;
  }
  PreviewFacts facts{path, source.Size(), Sha256Hex(source).value_or(""), true, {}, {}};
  std::string layoutText;
  std::optional<Fault> fault = WalkPackage(source, [&](const PackageRecord& r, const ContentReader&) {
    if (r.type == RecordType::kLayout) layoutText = r.text;
    if (r.type != RecordType::kImage) return std::optional<Fault>();
    const DecodedImage decoded = DecodeImage(source, r.dataOffset, r.dataSize, r.format);
    PreviewImage image{r.name, r.format, decoded.width, decoded.height, std::string(r.dataSize, '\0')};
    if (!source.ReadAt(r.dataOffset, image.bytes.data(), r.dataSize)) {
      return std::optional<Fault>(
          Fault{FaultKind::kIo, r.dataOffset, "cannot read the file: " + source.ReadFailure()});
    }
    facts.images.push_back(std::move(image));
    return std::optional<Fault>();
  });
  if (fault) return ReportFault(err, path, *fault);
  facts.findings = TextFindings(layoutText);
  return WritePage(RenderPreviewPage(ReadPreviewModel(layoutText), facts), outputPath, out, err);
}

int PreviewLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
                  const std::string& outputPath, std::ostream& out, std::ostream& err) {
  // What lint would reject is not previewed; lint's own report says why.
  std::ostringstream report;
  if (const int status = LintLayout(layoutPath, imagePaths, {}, report, err)) {
    err << report.str();
    err.flush();
    return status;
  }
  // The package the packager would build, made in memory for its size and digest.
  std::vector<char> document = ReadLayoutDocument(layoutPath);
  const std::string fileText(document.data(), document.size() - 1);
  rapidxml::xml_document<char> parsed;
  ParseLayoutDocument(document, parsed);
  const std::string layoutText = PrintLayoutText(parsed, layoutPath);
  std::vector<Record> records;
  records.push_back(MakeLayoutRecord(layoutText));
  PreviewFacts facts{layoutPath, 0, "", false, {}, {}};
  for (const std::string& path : imagePaths) {
    FileSource file(path);
    Record record = MakeImageRecord(file, path);
    const ImageHead head = DecodeImageHead(record->data.get());
    const DecodedImage decoded = DecodeImage(file, 0, file.Size(), head.format);
    std::string bytes(file.Size(), '\0');
    file.ReadAll(bytes.data(), file.Size());
    facts.images.push_back({std::string(ImageName(path)), head.format, decoded.width,
                            decoded.height, std::move(bytes)});
    records.push_back(std::move(record));
  }
  const std::string package = EncodePackage(records);
  MemorySource built(package);
  facts.packageSize = package.size();
  facts.sha256 = Sha256Hex(built).value_or("");
  std::vector<LintedImage> linted;
  facts.findings = LintFindings(layoutPath, fileText, imagePaths, linted);
  return WritePage(RenderPreviewPage(ReadPreviewModel(layoutText), facts), outputPath, out, err);
}

}  // namespace vantu::branding_package
