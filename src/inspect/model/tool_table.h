// The companion's commands and exit statuses, and what a fault is: the one table that
// usage, JSON, the man page, the completion and the tests follow.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "base/byte_source.h"
#include "base/guarded_run.h"

namespace vantu::branding_package {

// Every exit status of branding-package-inspect.
enum class Status : int {
  kSuccess = 0,
  kUsage = 1,                // the command line is refused
  kIo = 2,                   // a file cannot be opened, read or written
  kStructure = 3,            // a package's sizes, constants, record order or strings are wrong
  kImage = 4,                // image content disagrees with its record or does not decode
  kLayout = 5,               // the layout does not parse or breaks a rule
  kReferences = 6,           // references and image names differ
  kDigest = 7,               // the file's SHA-256 differs from the one expected
  kRefused = 8,              // an unsafe name, a file in the way, an output that is an input
  kDiffer = 9,               // diff: the packages differ
  kFatal = kFatalExitStatus  // out of memory, or standard output lost
};

// One row of the table.
struct StatusEntry {
  Status status;
  const char* key;      // the word --json gives a fault of this status
  const char* meaning;  // for usage and the man page
};

// Every status, in numeric order.
constexpr StatusEntry kStatuses[] = {
    {Status::kSuccess, "success", "success"},
    {Status::kUsage, "usage", "bad command line"},
    {Status::kIo, "io", "a file cannot be opened, read or written"},
    {Status::kStructure, "structure", "corrupt package, or no package at all"},
    {Status::kImage, "image", "image content disagrees with its record or does not decode"},
    {Status::kLayout, "layout", "layout not well-formed or against a rule"},
    {Status::kReferences, "references", "references and images differ"},
    {Status::kDigest, "digest", "the SHA-256 differs from --sha256"},
    {Status::kRefused, "refused",
     "an unsafe image name, a file in the way, or an output that is an input"},
    {Status::kDiffer, "differ", "diff: the packages differ"},
    {Status::kFatal, "fatal", "out of memory, or standard output could not be written"},
};

// The row of status.
const StatusEntry& EntryOf(Status status);

// What stops a command: its status, the byte offset of the file it is about, and why.
struct Fault {
  Status kind;
  std::uint64_t offset;  // kNoOffset when no byte is at fault
  std::string message;
};

// How a command ends: with its exit status, its report written, or with the fault that
// stopped it before it could write one, for its runner to report.
using Outcome = std::variant<int, Fault>;

}  // namespace vantu::branding_package
