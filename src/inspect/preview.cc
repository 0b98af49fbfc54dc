#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

#include "base/replaced_file.h"
#include "base/shown.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "inspect/commands.h"
#include "inspect/lint_findings.h"
#include "inspect/preview_page.h"
#include "package/file_writer.h"
#include "package/write_package.h"

namespace vantu::branding_package {

namespace {

// Writes page to outputPath whole or not at all, never over one of inputs.
int WritePage(const std::string& page, const std::string& outputPath,
              const std::vector<FileId>& inputs, std::ostream& out, std::ostream& err) {
  ReplacedFile output(outputPath, Mode::kBinary, inputs);
  if (output.Failure() == OpenFailure::kIsInput) {
    err << Shown(outputPath) << ": is also an input, not overwriting it" << std::endl;
    return static_cast<int>(FaultKind::kRefused);
  }
  if (output.IsOpen()) output.File().Write(page.data(), page.size());
  if (!output.IsOpen() || !output.Close() || !output.Publish()) {
    err << Shown(outputPath) << ": cannot write the page: " << std::strerror(errno) << std::endl;
    return static_cast<int>(FaultKind::kIo);
  }
  out << Shown(outputPath) << '\n';
  out.flush();
  return 0;
}

// The layout text and the images of a sound package in source, into facts and layoutText.
std::optional<Fault> ReadPackage(ByteSource& source, PreviewFacts& facts, std::string& layoutText) {
  facts.packageSize = source.Size();
  std::optional<std::string> sha256 = Sha256Hex(source);
  if (!sha256)
    return Fault{FaultKind::kIo, kNoOffset, "cannot read the file: " + source.ReadFailure()};
  facts.sha256 = std::move(*sha256);
  return WalkPackage(source, [&](const PackageRecord& r, const ContentReader&) {
    if (r.type == RecordType::kLayout) layoutText = r.text;
    if (r.type != RecordType::kImage) return std::optional<Fault>();
    const DecodedImage decoded = DecodeImage(source, r.dataOffset, r.dataSize, r.format);
    PreviewImage image{r.name, r.format, decoded.width, decoded.height,
                       std::string(r.dataSize, '\0')};
    if (!source.ReadAt(r.dataOffset, image.bytes.data(), r.dataSize)) {
      return std::optional<Fault>(
          Fault{FaultKind::kIo, r.dataOffset, "cannot read the file: " + source.ReadFailure()});
    }
    facts.images.push_back(std::move(image));
    return std::optional<Fault>();
  });
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
  PreviewFacts facts{path, 0, "", true, {}, {}};
  std::string layoutText;
  if (auto fault = ReadPackage(source, facts, layoutText)) return ReportFault(err, path, *fault);
  // The findings lint has about the stored text, which verify found sound.
  std::vector<LintedImage> none;
  facts.findings = LintFindings("layout text", layoutText, {}, none);
  return WritePage(RenderPreviewPage(ReadPreviewModel(layoutText), facts), outputPath,
                   {source.Id()}, out, err);
}

int PreviewLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
                  const std::string& outputPath, std::ostream& out, std::ostream& err) {
  // What lint would reject is not previewed; lint's own report says why.
  std::ostringstream report;
  // The packager's reference check applies even with no images: a page never describes a
  // package the packager would refuse.
  LintOptions options;
  options.references = References::kAlways;
  if (const int status = LintLayout(layoutPath, imagePaths, options, report, err)) {
    err << report.str();
    err.flush();
    return status;
  }
  // The package the packager would build, made in memory and previewed as a package, with
  // lint's findings about the layout file itself.
  cBP_FILE_WRITER writer("");
  writer.LoadLayout(layoutPath);
  for (const std::string& image : imagePaths) writer.AddImage(image);
  const std::string package = EncodePackage(writer.components);
  MemorySource built(package);
  PreviewFacts facts{layoutPath, 0, "", false, {}, {}};
  std::string layoutText;
  if (auto fault = ReadPackage(built, facts, layoutText))
    return ReportFault(err, layoutPath, *fault);
  std::string text;
  if (!ReadLayoutText(layoutPath, text, err)) return static_cast<int>(FaultKind::kIo);
  std::vector<LintedImage> linted;
  facts.findings = LintFindings(layoutPath, text, imagePaths, linted, References::kAlways);
  std::vector<FileId> inputs;
  for (const std::string& input : imagePaths) {
    if (auto id = IdOfFile(input)) inputs.push_back(*id);
  }
  if (auto id = IdOfFile(layoutPath)) inputs.push_back(*id);
  return WritePage(RenderPreviewPage(ReadPreviewModel(layoutText), facts), outputPath, inputs, out,
                   err);
}

}  // namespace vantu::branding_package
