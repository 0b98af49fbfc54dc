#include <algorithm>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "base/bp_exception.h"
#include "base/shown.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/make_rule.h"
#include "inspect/model/found_images.h"
#include "package/file_writer.h"
#include "package/write_package.h"

namespace vantu::branding_package {

CheckRequest AsBuild(CheckRequest request) {
  request.learn = Learn::kPixels;
  request.records = true;
  request.schemaAlways = false;
  return request;
}

int BuildFromLayout(const std::string& layoutPath, const BuildOptions& options, std::ostream& out,
                    std::ostream& err) {
  LayoutFile file = ReadLayoutFile(layoutPath);
  if (auto fault = LayoutFault(file)) return ReportFault(err, layoutPath, *fault);

  // The layout is linted first, each image read once into the record the packager stores
  // and decoded: what counts as an error stops the build. The schema's findings are warnings
  // and notes: it is checked only where the policy could make one stop the build (a typical
  // build costs less than loading the schema library).
  const CheckRequest request = AsBuild(options.lint.request);
  CheckSession session(request);
  CheckedLayout checked = session.Check(layoutPath, std::move(file.text));
  if (checked.problem) {
    // The record of a failed run goes where lint's report would: standard error.
    return ReportPolicyProblem(*checked.problem,
                               {"build", layoutPath, options.lint.format,
                                request.commandLine.denied, options.lint.sarifRoot},
                               err, err);
  }
  const LayoutDocument& document = *checked.document;
  LintReport& report = checked.report;
  report.sarifRoot = options.lint.sarifRoot;
  if (options.lint.format == LintFormat::kText) {
    PrintFindings(err, report.findings);
  } else if (!report.findings.empty() || report.status != 0) {
    PrintLintReport(err, report, options.lint.format, document.Text());
  }
  if (report.status != 0) return report.status;

  // The rule is made before anything is written: a path it cannot hold refuses the build.
  std::ostringstream rule;
  if (options.depfile && !PrintDepfileRule(options.output, checked.Dependencies(), rule, err)) {
    return static_cast<int>(Status::kRefused);
  }
  std::vector<FileId> inputs;
  if (file.id) inputs.push_back(*file.id);
  if (checked.policy.configId) inputs.push_back(*checked.policy.configId);
  for (const LintedImage& image : report.images) {
    if (image.id) inputs.push_back(*image.id);
  }
  if (options.depfile) {
    // Written first, so that a depfile that cannot be written leaves the old package in place;
    // never over the package, nor over an input.
    std::vector<FileId> notOver = inputs;
    if (auto id = IdOfFile(options.output)) {
      // The writer would refuse the package after the depfile was written.
      if (std::find(inputs.begin(), inputs.end(), *id) != inputs.end()) {
        err << Shown(kOutputIsInput + options.output) << std::endl;
        return static_cast<int>(Status::kRefused);
      }
      notOver.push_back(*id);
    }
    if (const int status = WriteWhole(rule.str(), *options.depfile, notOver, "the depfile", err)) {
      return status;
    }
    if (auto id = IdOfFile(*options.depfile)) inputs.push_back(*id);
  }
  cBP_FILE_WRITER writer(options.output);
  std::string hash;
  try {
    // The packager's writer, fed the bytes lint read: the package is the packager's.
    writer.AddLayout(document, layoutPath);
    for (LintedImage& image : report.images) {
      // An image lint could not read is an error, which stopped the build above.
      if (!image.record) throw std::logic_error("unread image passed lint: " + image.path);
      writer.AddImageRecord(std::move(image.record), image.path);
    }
    for (const FileId& id : inputs) writer.AddInput(id);
    writer.WritePackage();
    hash = writer.GetPackageHash();
  } catch (const cBP_OUTPUT_IS_INPUT& e) {
    err << Shown(e.what()) << std::endl;
    return static_cast<int>(Status::kRefused);
  } catch (const cBP_EXCEPTION& e) {
    err << Shown(e.what()) << std::endl;
    return static_cast<int>(Status::kIo);
  }
  out << "Output file: " << Shown(options.output) << '\n' << "Hash: " << hash << std::endl;
  return 0;
}

}  // namespace vantu::branding_package
