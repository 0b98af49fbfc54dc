#include <sstream>

#include "app/bp_exception.h"
#include "package/file_writer.h"
#include "package/name_match.h"

void cBP_FILE_WRITER::CheckReferences() const {
  namespace bp = vantu::branding_package;
  const bp::NameMismatches mismatches = bp::MatchNames(references, resources);
  if (mismatches.references.empty() && mismatches.resources.empty()) return;
  std::ostringstream message;
  for (std::size_t i : mismatches.references) message << bp::kNoResourceFound << references[i] << '\n';
  for (std::size_t i : mismatches.resources) message << bp::kNoReferenceFound << resources[i] << '\n';
  throw cBP_EXCEPTION(BP_ERR_REFERENCES, message.str());
}
