#include <cstdint>

#include "app/bp_exception.h"
#include "package/file_writer.h"
#include "package/output_file.h"
#include "package/package_format.h"

namespace bp = vantu::branding_package;

void cBP_FILE_WRITER::WritePackage() {
  CheckReferences();

  // Each record fits 32 bits on its own; together they may not.
  std::uint64_t packageSize = bp::kHeaderSize + bp::kEndRecordSize;
  for (const auto& component : components) packageSize += component->size;
  if (packageSize > bp::kMaxPackageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Package larger than 4 GiB, cannot write Output file: " +
                                         outputPath);
  }

  bp::OutputFile file(outputPath, true);
  if (!file.IsOpen()) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Output file: " + outputPath);
  }
  unsigned char header[bp::kHeaderSize];
  bp::PutU32(header, 0);
  bp::PutU32(header + 4, 0);
  bp::PutU32(header + 8, 1);
  file.Write(header, sizeof header);
  for (const auto& component : components) file.Write(component->data.get(), component->size);
  unsigned char end[bp::kEndRecordSize];
  bp::PutU32(end, static_cast<std::uint32_t>(bp::kEndRecordSize));
  bp::PutU32(end + 4, bp::kEndRecord);
  file.Write(end, sizeof end);

  const std::uint64_t written = file.Position();
  file.PatchU32(0, static_cast<std::uint32_t>(written));
  if (!file.Commit() || written != packageSize) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + outputPath);
  }
}
