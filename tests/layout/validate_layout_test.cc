#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "layout/layout_test_support.h"

namespace {

using testing_support::LayoutWithAbout;
using testing_support::LoadInto;

std::string Root(const std::string& children) {
  return "<vantu-client-branding>" + children + "</vantu-client-branding>";
}

const char kName[] = "<app-name>n</app-name>";
const char kIcon[] = "<app-icon>icon.png</app-icon>";
const char kMenu[] = "<toolbar-menu/>";
const char kAbout[] = "<about title=\"t\"/>";

struct RuleCase {
  const char* name;
  std::string xml;
  std::string message;  // empty: passes
  std::vector<std::string> references;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class LayoutRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(LayoutRules, MessageAndReferences) {
  const RuleCase& c = GetParam();
  cBP_FILE_WRITER writer("unused.bin");
  std::string message;
  try {
    LoadInto(writer, c.xml);
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -506);
    message = e.what();
  }
  EXPECT_EQ(message, c.message);
  EXPECT_EQ(writer.references, c.references);
  EXPECT_EQ(writer.components.size(), c.message.empty() ? 1u : 0u);
}

const std::vector<std::string> kIconOnly{"icon.png"};

INSTANTIATE_TEST_SUITE_P(
    Rules, LayoutRules,
    ::testing::Values(
        RuleCase{"CdataFirst", "<![CDATA[x]]>", "Top node must be vantu-client-branding", {}},
        RuleCase{
            "RootCase", "<Vantu-Client-Branding/>", "Top node must be vantu-client-branding", {}},
        RuleCase{"NoAppName",
                 Root(std::string(kIcon) + kMenu + kAbout),
                 "Must contain node: app-name",
                 {}},
        RuleCase{"NoAppIcon",
                 Root(std::string(kName) + kMenu + kAbout),
                 "Must contain node: app-icon",
                 {}},
        RuleCase{"EmptyAppIcon",
                 Root(std::string(kName) + "<app-icon></app-icon>"),
                 "app-icon must contain an Image reference",
                 {}},
        RuleCase{"BlankAppIcon",
                 Root(std::string(kName) + "<app-icon> </app-icon>"),
                 "app-icon must contain an Image reference",
                 {}},
        RuleCase{"CdataAppIcon",
                 Root(std::string(kName) + "<app-icon><![CDATA[a]]></app-icon>"),
                 "app-icon must contain an Image reference",
                 {}},
        RuleCase{"NoMenuChecksIconFirst", Root(std::string(kName) + kIcon + kAbout),
                 "Must contain node: toolbar-menu", kIconOnly},
        RuleCase{"NoAbout", Root(std::string(kName) + kIcon + kMenu), "Must contain node: about",
                 kIconOnly},
        RuleCase{"AboutWithoutTitle", Root(std::string(kName) + kIcon + kMenu + "<about/>"),
                 "about must contain attribute: title", kIconOnly},
        RuleCase{"AlignCase", LayoutWithAbout("<line align=\"Left\"/>"),
                 "align must be either: left, center or right", kIconOnly},
        RuleCase{"EmptyLogo", LayoutWithAbout("<line><logo/></line>"),
                 "logo must contain an Image reference", kIconOnly},
        RuleCase{"HyperlinkWithoutUrl", LayoutWithAbout("<line><hyperlink>x</hyperlink></line>"),
                 "hyperlink must contain attribute: url", kIconOnly},
        RuleCase{"UnknownLineChild", LayoutWithAbout("<line><image>a.png</image></line>"),
                 "Unexpected line node: image", kIconOnly},
        RuleCase{"TextRunInLine", LayoutWithAbout("<line><text/>hello</line>"),
                 "Unexpected line node: ", kIconOnly},
        RuleCase{"CdataInLine", LayoutWithAbout("<line><![CDATA[x]]></line>"),
                 "Unexpected line node: ", kIconOnly},
        RuleCase{"ChildrenInAnyOrder",
                 Root(std::string(kAbout) + kMenu + kIcon + "<app-name></app-name>"), "",
                 kIconOnly},
        RuleCase{"ExpandedReferencesAndAlign",
                 Root(std::string(kName) + "<app-icon>a&amp;b.png</app-icon>" + kMenu +
                      "<about title=\"t\"><line align=\"&#108;eft\"/></about>"),
                 "",
                 {"a&b.png"}},
        // The stored text joins the pieces a comment or instruction splits; so does the check.
        RuleCase{"CommentInsideReference",
                 Root(std::string(kName) + "<app-icon>icon<!-- x -->.png</app-icon>" + kMenu +
                      "<about title=\"t\"><line><logo>lo<?pi?>go.jpg</logo></line></about>"),
                 "",
                 {"icon.png", "logo.jpg"}},
        RuleCase{"SpacesKeptInReference",
                 Root(std::string(kName) + "<app-icon> a.png</app-icon>" + kMenu + kAbout),
                 "",
                 {" a.png"}},
        RuleCase{"LinesInOrderDuplicatesKept",
                 LayoutWithAbout("<line align=\"right\"> <logo>a.png</logo>\n<text/>"
                                 "<hyperlink url=\"\"/><logo>b.png</logo></line>"
                                 "<other><logo/></other><line/><line><logo>a.png</logo></line>"),
                 "",
                 {"icon.png", "a.png", "b.png", "a.png"}},
        RuleCase{"OnlyFirstAppIconAndAbout",
                 Root(std::string(kName) + kIcon + "<app-icon/>" + kMenu + kAbout +
                      "<about><line align=\"x\"/></about>"),
                 "", kIconOnly}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ValidateLayout, NoNodeAtAll) {
  cBP_FILE_WRITER writer("unused.bin");
  try {
    writer.ValidateLayout(nullptr);
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -506);
    EXPECT_STREQ(e.what(), "Must contain at least 1 node");
  }
}

}  // namespace
