#include "layout/nesting_guard.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using vantu::branding_package::FindTooDeepElement;
using vantu::branding_package::kNoTooDeepElement;

struct GuardCase {
  const char* name;
  std::string text;
  std::string tooDeepAt;  // the text from the too deep element on; empty for none
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }

class NestingGuard : public ::testing::TestWithParam<GuardCase> {};

// With a limit of two levels.
TEST_P(NestingGuard, FindsTheFirstElementBelowTheLimit) {
  const GuardCase& c = GetParam();
  const std::size_t at = FindTooDeepElement(c.text.c_str(), 2);
  if (c.tooDeepAt.empty()) {
    EXPECT_EQ(at, kNoTooDeepElement);
  } else {
    ASSERT_NE(at, kNoTooDeepElement);
    EXPECT_EQ(c.text.substr(at), c.tooDeepAt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NestingGuard,
    ::testing::Values(
        GuardCase{"ThirdLevel", "<a><b><c/></b></a>", "<c/></b></a>"},
        GuardCase{"SiblingsStayShallow", "<a><b/></a><a><b></b><b>t</b></a>", ""},
        GuardCase{"AfterText", "<a><b>text<c>", "<c>"},
        GuardCase{"AfterReference", "<a><b>&lt;<c>", "<c>"},
        GuardCase{"ClosingTagWithSpace", "<a><b></b ><b><c>", "<c>"},
        GuardCase{"UnmatchedClosingNameStillCloses", "<a><b></x><b><c>", "<c>"},
        GuardCase{"ByteOrderMark", "\xEF\xBB\xBF<a><b><c>", "<c>"},
        GuardCase{"Attributes", "<a x='1' y = \"2\"><b z='>'><c>", "<c>"},
        GuardCase{"TagsInsideComment", "<a><!--<b><c>--><b></b></a>", ""},
        GuardCase{"TagsInsideCdata", "<a><![CDATA[<b><c>]]></a>", ""},
        GuardCase{"TagsInsideAttribute", "<a v='<b><c>'><b/></a>", ""},
        GuardCase{"TagsInsideProcessingInstruction", "<?x <a><b><c> ?><a/>", ""},
        GuardCase{"TagsInsideDoctype", "<!DOCTYPE a [<!ELEMENT a ANY><b><c>]><a><b></b></a>", ""},
        GuardCase{"OtherMarkupEndsAtFirstAngle", "<a><!x <b <c>><b><c>", "<c>"},
        GuardCase{"ParserFailsFirstOnAttribute", "<a x=1><b><c>", ""},
        GuardCase{"ParserFailsFirstOnName", "<a><b>< c><c>", ""},
        GuardCase{"ParserFailsFirstOnClosingTag", "<a><b></b x><b><c>", ""},
        GuardCase{"TopLevelText", "x<a><b><c>", ""},
        GuardCase{"EndOfData", "<a><b>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
