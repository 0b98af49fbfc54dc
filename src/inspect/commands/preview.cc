#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

#include "base/replaced_file.h"
#include "base/shown.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/preview_page.h"
#include "inspect/model/checks.h"
#include "inspect/model/found_images.h"
#include "inspect/model/package_contents.h"
#include "package/file_writer.h"
#include "package/write_package.h"

namespace vantu::branding_package {

namespace {

// Writes page to outputPath and names it on out.
int WritePage(const std::string& page, const std::string& outputPath,
              const std::vector<FileId>& inputs, std::ostream& out, std::ostream& err) {
  if (const int status = WriteWhole(page, outputPath, inputs, "the page", err)) return status;
  out << Shown(outputPath) << '\n';
  out.flush();
  return 0;
}

// The whole of source, which the page's images are drawn from.
std::optional<Fault> ReadWhole(ByteSource& source, std::string& bytes) {
  bytes.resize(static_cast<std::size_t>(source.Size()));
  if (!source.ReadAll(bytes.data(), source.Size())) {
    return Fault{Status::kIo, kNoOffset, "cannot read the file: " + source.ReadFailure()};
  }
  return std::nullopt;
}

}  // namespace

CheckRequest PreviewRequest(const std::optional<std::string>& config) {
  CheckRequest request;
  request.config = config;
  request.records = true;  // the page shows the images' bytes
  return request;
}

int PreviewPackage(const std::string& path, const std::string& outputPath, std::ostream& out,
                   std::ostream& err) {
  FileSource source(path);
  if (!source.IsOpen()) return ReportFault(err, path, CannotOpen(source));
  // What verify would fail is not previewed; the same findings say why.
  const PackageContents contents = ReadPackageContents(source, FileDigest::kFirst);
  if (contents.fault) return ReportFault(err, path, *contents.fault);
  const LayoutDocument document(contents.layoutText);
  PreviewFacts facts{path,
                     contents.fileSize,
                     contents.sha256,
                     true,
                     contents.images,
                     {},
                     PackageFindings(contents, document, path)};
  if (const int status = StatusOf(facts.findings, false)) {
    PrintFindings(err, facts.findings);
    return status;
  }
  std::string package;
  if (auto fault = ReadWhole(source, package)) return ReportFault(err, path, *fault);
  facts.package = package;
  return WritePage(RenderPreviewPage(ReadPreviewModel(document), facts), outputPath, {source.Id()},
                   out, err);
}

LayoutPreview MakeLayoutPreview(CheckSession& session, const std::string& layoutPath,
                                const std::vector<std::string>& imagePaths, PageKind kind) {
  LayoutPreview preview;
  std::ostringstream report;
  auto refused = [&](int status) {
    preview.status = status;
    preview.report = report.str();
    return preview;
  };
  // Each input is read once, by lint; the package is built in memory from those bytes.
  LayoutFile file = ReadLayoutFile(layoutPath);
  if (auto fault = LayoutFault(file)) {
    return refused(ReportFault(report, layoutPath, *fault));
  }
  if (file.id) preview.inputs.push_back(*file.id);
  // The packager's reference check applies even with no images: a page never describes a
  // package the packager would refuse; nor one the project's policy refuses.
  CheckedLayout checked = session.Check(layoutPath, std::move(file.text), imagePaths);
  preview.folders = checked.folders;
  preview.dependencies = checked.Dependencies();
  if (checked.problem) {
    return refused(ReportPolicyProblem(*checked.problem,
                                       {"preview", layoutPath, LintFormat::kText, {}, std::nullopt},
                                       report, report));
  }
  if (checked.policy.configId) preview.inputs.push_back(*checked.policy.configId);
  std::vector<LintedImage>& images = checked.report.images;
  // What lint would reject is not previewed; lint's own report says why.
  if (checked.report.status != 0) {
    PrintLintReport(report, checked.report, LintFormat::kText);
    return refused(checked.report.status);
  }
  const LayoutDocument& document = *checked.document;

  std::vector<ImageFacts> learnt;
  for (LintedImage& image : images) {
    learnt.push_back(image.facts);
    if (image.id) preview.inputs.push_back(*image.id);
  }
  const std::string package = BuildInMemory(checked);
  MemorySource built(package);  // the page's images are drawn from these bytes
  // Lint decoded and digested each image: the package's reading learns nothing again.
  PackageContents contents = ReadPackageContents(built, FileDigest::kFirst, Learn::kNothing);
  for (std::size_t i = 0; i < contents.images.size() && i < learnt.size(); ++i) {
    contents.images[i].decoded = learnt[i].decoded;
    contents.images[i].sha256 = learnt[i].sha256;
  }
  if (contents.fault) return refused(ReportFault(report, layoutPath, *contents.fault));
  const PreviewFacts facts{layoutPath,      contents.fileSize, contents.sha256,        false,
                           contents.images, package,           checked.report.findings};
  preview.page = RenderPreviewPage(ReadPreviewModel(document), facts, kind);
  return preview;
}

int PreviewLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
                  const std::optional<std::string>& config, const std::string& outputPath,
                  std::ostream& out, std::ostream& err) {
  CheckSession session(PreviewRequest(config));
  const LayoutPreview preview =
      MakeLayoutPreview(session, layoutPath, imagePaths, PageKind::kStandalone);
  if (!preview.page) {
    err << preview.report;
    err.flush();
    return preview.status;
  }
  return WritePage(*preview.page, outputPath, preview.inputs, out, err);
}

}  // namespace vantu::branding_package
