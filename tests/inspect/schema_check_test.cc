// The schema check on hostile documents.
#include "inspect/model/schema_check.h"

#include <string>
#include <utility>

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

// Nothing the DOCTYPE declares is honoured: the first declaration ends the check with one
// finding where it starts, before an entity is expanded or an attribute
// default (a namespace among them) is added to every element.
TEST(SchemaCheck, DeclarationsAreRefusedNotHonoured) {
  const std::string many(20000, 'x');
  const std::string body =
      "<vantu-client-branding version=\"1.0\"><" + many + "/></vantu-client-branding>";
  const std::pair<std::string, std::string> cases[] = {
      {EntityBomb(1), "declares entity 'e0'"},
      {EntityBomb(12), "declares entity 'e0'"},
      {"<!DOCTYPE v [<!ATTLIST " + many + " xmlns:p CDATA 'urn:p'>]>" + body,
       "declares attribute 'xmlns:p' of element '" + many + "'"},
      {"<!DOCTYPE v [<!ELEMENT v ANY>]>" + body, "declares element 'v'"},
      {"<!DOCTYPE v [<!NOTATION n SYSTEM 'n'>]>" + body, "declares notation 'n'"}};
  for (const auto& [text, expected] : cases) {
    const auto findings = bp::CheckAgainstSchema(text, "declared.xml");
    ASSERT_EQ(findings.size(), 1u) << expected;
    EXPECT_EQ(findings[0].at, text.find("<!", 2));
    EXPECT_NE(findings[0].message.find(expected), std::string::npos) << findings[0].message;
  }
}

// A finding is placed on the element at fault, not on the first of its name on its line.
TEST(SchemaCheck, FindingsArePlacedOnTheElementAtFault) {
  const std::string text =
      "<vantu-client-branding version=\"1.0\"><app-name>D</app-name><app-icon>i.png</app-icon>"
      "<toolbar-menu><about-item>A</about-item><quit-item>Q</quit-item></toolbar-menu>"
      "<about title=\"A\"><line align=\"left\"><text>a</text><text bogus=\"x\">b</text></line>"
      "</about></vantu-client-branding>";
  const auto findings = bp::CheckAgainstSchema(text, "l.xml");
  int placed = 0;
  for (const auto& finding : findings) {
    if (finding.message.find("bogus") == std::string::npos) continue;
    ++placed;
    EXPECT_EQ(finding.at, text.rfind("<text")) << finding.message;
  }
  EXPECT_GT(placed, 0);
}

// The library's wording is the project's: no function names, a character reference said so.
TEST(SchemaCheck, LibraryWordingIsTranslated) {
  const auto findings = bp::CheckAgainstSchema(
      "<vantu-client-branding version=\"1.0\"><app-name>a&#27;</app-name></vantu-client-branding>",
      "l.xml");
  ASSERT_FALSE(findings.empty());
  EXPECT_EQ(findings[0].message,
            "the character reference to code point 27 names a character XML does not allow");
  EXPECT_TRUE(findings[0].at);
}

}  // namespace
