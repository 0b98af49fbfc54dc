// Writing a whole package: header, records, end record, and the size in the header.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/replaced_file.h"
#include "package/records.h"

namespace vantu::branding_package {

// Header, records and end record as one package in memory.
std::string EncodePackage(const std::vector<Record>& records);

// Begins the -504 message of an output that is one of the build's inputs.
constexpr char kOutputIsInput[] = "Output file is also an input, not overwriting it: ";

// Writes the package to path, replacing it whole (see ReplacedFile). Throws -504 when the
// records together pass 4 GiB (before anything is opened), when path is one of inputs,
// when it cannot be opened, when a write, flush, close or putting it in place fails (the
// target is then left as it was), and when the written file cannot be read back. Returns the
// SHA-256 of the file as read back before it replaced the target, or none where a device
// or FIFO was written in place.
std::optional<std::string> WritePackageFile(const std::string& path,
                                            const std::vector<Record>& records,
                                            const std::vector<FileId>& inputs = {});

// The SHA-256 of the file at path as read back; throws -504 naming shownPath when it cannot
// be opened or read.
std::string PackageFileHash(const std::string& path, const std::string& shownPath);

}  // namespace vantu::branding_package
