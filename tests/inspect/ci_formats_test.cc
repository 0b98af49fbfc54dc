// The words other tools read back: Make rules, URIs, workflow commands.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inspect/commands/ci_formats.h"
#include "inspect/commands/make_rule.h"
#include "inspect/model/findings.h"

namespace bp = vantu::branding_package;

TEST(MakeWord, EscapesWhatBothReadBackAndRefusesTheRest) {
  struct Case {
    std::string path;
    bp::RulePart part;
    std::optional<std::string> word;
  };
  const auto t = bp::RulePart::kTarget;
  const auto p = bp::RulePart::kPrerequisite;
  const Case cases[] = {
      {"images/logo.jpg", p, "images/logo.jpg"},
      {"my icon$#1.png", p, "my\\ icon$$\\#1.png"},
      {"a  b", p, "a\\ \\ b"},
      {"50%.png", p, "50%.png"},
      {"50%.pkg", t, std::nullopt},
      {"50%.png", t, std::nullopt},  // an image is the target of its empty rule
      {"logo(1).png", p, std::nullopt},
      {".IGNORE", t, std::nullopt},
      {"././.IGNORE", t, std::nullopt},
      {".IGNORE", p, ".IGNORE"},
      {"images/.IGNORE", t, "images/.IGNORE"},
      {"../out.pkg", t, "../out.pkg"},
      {"caf\xC3\xA9.png", p, "caf\xC3\xA9.png"},
      {"a~b", p, "a~b"},
      {"~user/x.png", p, std::nullopt},
      {"", p, std::nullopt},
      {"a:b", p, std::nullopt},
      {"a;b", p, std::nullopt},
      {"a=b", p, std::nullopt},
      {"a|b", p, std::nullopt},
      {"a\\b", p, std::nullopt},
      {"a*b", p, std::nullopt},
      {"a?b", p, std::nullopt},
      {"a[1]", p, std::nullopt},
      {"a]", p, std::nullopt},
      // Ninja ends a path at these; make reads "&:" as a grouped target.
      {"images/a<b.png", p, std::nullopt},
      {"a>b", p, std::nullopt},
      {"a^b", p, std::nullopt},
      {"a`b", p, std::nullopt},
      {"a\"b", p, std::nullopt},
      {"a'b", p, std::nullopt},
      {"images/logo&", t, std::nullopt},
      {"a\nb", p, std::nullopt},
      {"a\tb", p, std::nullopt},
      {"a\x7F", p, std::nullopt},
      {std::string("a\0b", 3), p, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(bp::MakeWord(c.path, c.part), c.word) << c.path;
}

TEST(PathUri, PercentEncodesAllButUnreservedAndSlash) {
  EXPECT_EQ(bp::PathUri("dir/a-b_c.d~e.xml"), "dir/a-b_c.d~e.xml");
  EXPECT_EQ(bp::PathUri("a b#c%d?e:f"), "a%20b%23c%25d%3Fe%3Af");
  EXPECT_EQ(bp::PathUri("/abs/caf\xC3\xA9"), "file:///abs/caf%C3%A9");
  EXPECT_EQ(bp::PathUri("\x01\xFF"), "%01%FF");
}

TEST(GithubAnnotations, NothingSplitsACommand) {
  std::vector<bp::Finding> findings = {
      {&bp::Kind(bp::FindingId::kLinkUrl), "a,b:c%.xml", 3, 7, bp::kNoOffset, "50% of\nlines\r"},
      {&bp::Kind(bp::FindingId::kSchemaCapped), "l.xml", 0, 0, bp::kNoOffset, "m"},
      {&bp::Kind(bp::FindingId::kEmptyText), "l.xml", 2, 0, bp::kNoOffset, "x::y"},
  };
  findings[2].denied = true;
  EXPECT_EQ(bp::GithubAnnotations(findings),
            "::warning file=a%2Cb%3Ac%25.xml,line=3,col=7,title=link-url::50%25 of\\nlines\\r\n"
            "::notice file=l.xml,title=schema-capped::m\n"
            "::error file=l.xml,line=2,title=empty-text::x::y\n");
}
