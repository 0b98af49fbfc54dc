#include "inspect/model/tool_table.h"

namespace vantu::branding_package {

const StatusEntry& EntryOf(Status status) {
  for (const StatusEntry& entry : kStatuses) {
    if (entry.status == status) return entry;
  }
  return kStatuses[sizeof kStatuses / sizeof kStatuses[0] - 1];
}

}  // namespace vantu::branding_package
