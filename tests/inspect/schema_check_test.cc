// The schema check on hostile documents.
#include "inspect/model/schema_check.h"

#include <string>

#include <gtest/gtest.h>

namespace bp = vantu::branding_package;

namespace {

// Entities nested levels deep, each ten of the one below, referenced in an attribute.
std::string EntityBomb(int levels) {
  std::string doctype = "<!DOCTYPE vantu-client-branding [<!ENTITY e0 \"lol\">";
  for (int level = 1; level < levels; ++level) {
    doctype += "<!ENTITY e" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) doctype += "&e" + std::to_string(level - 1) + ";";
    doctype += "\">";
  }
  doctype += "]>\n";
  return doctype + "<vantu-client-branding version=\"1.0\"><about title=\"&e" +
         std::to_string(levels - 1) + ";\"/></vantu-client-branding>";
}

// Nothing is expanded: the first declaration ends the check with one finding at its line.
TEST(SchemaCheck, EntityDeclarationsAreRefusedNotExpanded) {
  for (int levels : {1, 4, 12}) {
    const auto findings = bp::CheckAgainstSchema(EntityBomb(levels), "bomb.xml");
    ASSERT_EQ(findings.size(), 1u) << levels;
    EXPECT_EQ(findings[0].line, 1);
    EXPECT_NE(findings[0].message.find("declares entity 'e0'"), std::string::npos)
        << findings[0].message;
  }
}

}  // namespace
