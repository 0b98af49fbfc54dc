#include "inspect/commands/report.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include "base/replaced_file.h"
#include "base/shown.h"
#include "inspect/model/lint_config.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

Fault CannotOpen(const FileSource& file) {
  return {Status::kIo, kNoOffset, "cannot open the file: " + file.OpenFailure()};
}

int ReportFault(std::ostream& err, const std::string& path, const Fault& fault) {
  err << Shown(path) << ": ";
  if (fault.offset != kNoOffset) err << "offset " << fault.offset << ": ";
  err << Shown(fault.message) << std::endl;
  return static_cast<int>(fault.kind);
}

std::string WhereOf(const Finding& f) {
  std::string where = Shown(f.file);
  if (f.offset != kNoOffset) {
    where += ": offset " + std::to_string(f.offset);
    if (f.line > 0) {
      where += " (layout text " + std::to_string(f.line) + ':' + std::to_string(f.column);
      if (!f.element.empty()) where += ", " + Shown(f.element);
      where += ')';
    }
  } else if (f.line > 0) {
    where += ':' + std::to_string(f.line) + ':' + std::to_string(f.column);
  }
  return where;
}

void PrintFindings(std::ostream& out, const std::vector<Finding>& findings) {
  for (const Finding& f : findings) {
    out << WhereOf(f) << ": " << SeverityName(f.severity()) << ": " << Shown(f.message) << " ["
        << f.kind->id << "]\n";
  }
}

std::optional<Fault> LayoutFault(const LayoutFile& file) {
  switch (file.problem) {
    case LayoutFile::Problem::kNone:
      return std::nullopt;
    case LayoutFile::Problem::kCannotOpen:
      return Fault{Status::kIo, kNoOffset, "cannot open the file: " + file.reason};
    case LayoutFile::Problem::kCannotRead:
      return Fault{Status::kIo, kNoOffset, "cannot read the file: " + file.reason};
    case LayoutFile::Problem::kTooLarge:
      return Fault{Status::kIo, kNoOffset,
                   "layout too large for the package (more than " + std::to_string(kMaxLayoutText) +
                       " bytes)"};
  }
  return std::nullopt;
}

int WriteWhole(const std::string& content, const std::string& outputPath,
               const std::vector<FileId>& inputs, const char* what, std::ostream& err) {
  ReplacedFile output(outputPath, Mode::kBinary, inputs);
  if (output.Failure() == OpenFailure::kIsInput) {
    err << Shown(outputPath) << ": is also an input, not overwriting it" << std::endl;
    return static_cast<int>(Status::kRefused);
  }
  if (output.IsOpen()) output.File().Write(content.data(), content.size());
  if (!output.IsOpen() || !output.Close() || !output.Publish()) {
    const bool locked = errno == EWOULDBLOCK;
    err << Shown(outputPath) << ": cannot write " << what << ": "
        << (locked ? "another process holds a lock on it" : std::strerror(errno)) << std::endl;
    return static_cast<int>(Status::kIo);
  }
  return 0;
}

}  // namespace vantu::branding_package
