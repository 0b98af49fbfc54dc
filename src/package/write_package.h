// Writing a whole package: header, records, end record, and the size in the header.
#pragma once

#include <string>
#include <vector>

#include "package/records.h"

namespace vantu::branding_package {

// Header, records and end record as one package in memory.
std::string EncodePackage(const std::vector<Record>& records);

// Writes the package to path; throws -504 when the records together pass 4 GiB (before the
// file is opened), when it cannot be opened, or when a write, flush or close fails.
void WritePackageFile(const std::string& path, const std::vector<Record>& records);

}  // namespace vantu::branding_package
