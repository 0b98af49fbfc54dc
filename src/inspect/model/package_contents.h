// A package's contents, read once: the model that list, verify, diff, preview and extract
// present.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "inspect/model/image_facts.h"
#include "inspect/model/tool_table.h"
#include "package/package_walker.h"
#include "package/record_codec.h"

namespace vantu::branding_package {

// One record in file order.
struct StoredRecord {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  RecordType type = RecordType::kEnd;
  std::size_t image = 0;  // for an image record, its index in PackageContents::images
};

// Everything one reading of a package found, up to its first fault.
struct PackageContents {
  std::uint64_t fileSize = 0;
  std::uint32_t headerSize = 0;  // what the header's size field says (0 when unreadable)
  std::vector<StoredRecord> records;
  bool hasLayout = false;
  std::string layoutText;
  std::uint64_t layoutTextOffset = 0;  // where the text starts in the file
  std::vector<ImageFacts> images;      // every image record, in file order
  std::optional<Fault> fault;          // the first fault; the reading stopped there
  std::string sha256;                  // of the whole file, when it was asked for
};

// The companion's fault for what the walker found.
Fault FaultOf(const WalkFault& fault);

// Whether a reading takes the whole file's digest.
enum class FileDigest {
  kSkip,   // not needed: sha256 stays empty
  kFirst,  // before the walk, so that a file changed during the walk no longer matches it
  kSound   // after a walk that found no fault, to be shown: a corrupt package is not hashed
};

// Reads source once: the header, every record (those of a truncated package up to where it
// ends), of each image what learn asks, and, as digest says, the whole file's digest. A fault
// of the structure, or a read that fails, ends the reading and is kept.
PackageContents ReadPackageContents(ByteSource& source, FileDigest digest,
                                    Learn learn = Learn::kAll);

}  // namespace vantu::branding_package
