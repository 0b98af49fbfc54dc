// How the commands report: faults, findings, and layout files that cannot be read.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/file_id.h"
#include "inspect/model/findings.h"
#include "inspect/model/lint_config.h"
#include "inspect/model/tool_table.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

// Prints "PATH: offset N: message" (or "PATH: message" for a fault about no byte) on err
// and returns the fault's exit status.
int ReportFault(std::ostream& err, const std::string& path, const Fault& fault);

// The fault of a file that cannot be opened, or is not a regular file, with the reason.
Fault CannotOpen(const FileSource& file);

// Where f is, for a person: "FILE:LINE:COLUMN", or in a package "PACKAGE: offset N (layout
// text LINE:COLUMN, ELEMENT PATH)"; control bytes shown C-style.
std::string WhereOf(const Finding& f);

// Prints each finding as "WHERE: SEVERITY: MESSAGE [ID]".
void PrintFindings(std::ostream& out, const std::vector<Finding>& findings);

// Why file, a layout read, cannot be checked ("cannot open|read the file: reason", or too
// large); none when it was read.
std::optional<Fault> LayoutFault(const LayoutFile& file);

// Writes content to outputPath whole or not at all, never over one of inputs; on a failure
// reports it on err ("PATH: is also an input, not overwriting it", status 8, or "PATH: cannot
// write WHAT: reason", status 2) and returns the status, else 0.
int WriteWhole(const std::string& content, const std::string& outputPath,
               const std::vector<FileId>& inputs, const char* what, std::ostream& err);

}  // namespace vantu::branding_package
