#include "layout/nesting_guard.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using vantu::branding_package::FindRefusal;
using vantu::branding_package::kNoRefusal;

struct GuardCase {
  const char* name;
  std::string text;
  std::string tooDeepAt;  // the text from the refused construct on; empty for none
  std::string message = "element nesting too deep";
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }

class NestingGuard : public ::testing::TestWithParam<GuardCase> {};

// With a limit of two levels.
TEST_P(NestingGuard, FindsTheFirstElementBelowTheLimit) {
  const GuardCase& c = GetParam();
  const auto refusal = FindRefusal(c.text.c_str(), 2);
  if (c.tooDeepAt.empty()) {
    EXPECT_EQ(refusal.offset, kNoRefusal);
  } else {
    ASSERT_NE(refusal.offset, kNoRefusal);
    EXPECT_EQ(c.text.substr(refusal.offset), c.tooDeepAt);
    EXPECT_EQ(refusal.message, c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NestingGuard,
    ::testing::Values(
        GuardCase{"ThirdLevel", "<a><b><c/></b></a>", "<c/></b></a>"},
        GuardCase{"SiblingsStayShallow", "<a><b/></a><a><b></b><b>t</b></a>", ""},
        GuardCase{"AfterText", "<a><b>text<c>", "<c>"},
        // References the parser would store as a zero byte, or wrap around past 64 bits.
        GuardCase{"ZeroReference", "<a>x&#0;y</a>", "&#0;y</a>",
                  "invalid numeric character entity"},
        GuardCase{"HexZeroReference", "<a>&#x0;</a>", "&#x0;</a>",
                  "invalid numeric character entity"},
        GuardCase{"EmptyReference", "<a>&#;</a>", "&#;</a>", "invalid numeric character entity"},
        GuardCase{"OverflowingReference", "<a>&#x10000000000000041;</a>",
                  "&#x10000000000000041;</a>", "invalid numeric character entity"},
        GuardCase{"ZeroInAttribute", "<a b='&#00;'/>", "&#00;'/>",
                  "invalid numeric character entity"},
        GuardCase{"ReferenceBeforeDepth", "<a><b>&#0;<c/></b></a>", "&#0;<c/></b></a>",
                  "invalid numeric character entity"},
        GuardCase{"DepthBeforeReference", "<a><b><c>&#0;</c></b></a>", "<c>&#0;</c></b></a>"},
        GuardCase{"ReferencesLeftAlone", "<a>&#65;&#x41;<!-- &#0; --><![CDATA[&#0;]]>&#0 </a>", ""},
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
        GuardCase{"TopLevelText", "x<a><b><c>", ""}, GuardCase{"EndOfData", "<a><b>", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
