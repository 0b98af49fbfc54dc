#include <string>

#include "app/bp_exception.h"
#include "layout/layout_rules.h"
#include "package/file_writer.h"

void cBP_FILE_WRITER::ValidateLayout(const rapidxml::xml_node<char>* top) {
  vantu::branding_package::CheckLayoutRules(
      top,
      [this](const auto& /*element*/, std::string_view name) { references.emplace_back(name); },
      [](const auto* /*node*/, const std::string& message) -> bool {
        throw cBP_EXCEPTION(BP_ERR_LAYOUT_RULE, message);
      });
}
