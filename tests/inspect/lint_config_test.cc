// The project's policy: its file, found and read, and the layout's inline suppressions.
#include "inspect/model/lint_config.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "base/nearest.h"
#include "inspect/commands/report.h"
#include "inspect/model/checks.h"
#include "test_support.h"

namespace bp = vantu::branding_package;

namespace {

// A file's lines, and what they come to: the policy and folders, or the first problem.
TEST(LintConfig, ParsesOrNamesTheLineAtFault) {
  const std::pair<std::string, std::string> cases[] = {
      {"# a project\nallow = empty-text, schema  # why\n\ndeny=link-url\ndir = img\ndir = /abs\n",
       "allowed empty-text schema denied link-url dirs cfg/img /abs"},
      {"allow = empty-text\nalow = schema\n",
       "cfg/.branding-lint:2: unknown key alow (did you mean allow?); the keys are allow, deny and "
       "dir"},
      {"deny = link-urls\n",
       "cfg/.branding-lint:1: no finding link-urls (did you mean link-url?); 'lint --explain all' "
       "lists them"},
      {"allow = missing-image\n",
       "cfg/.branding-lint:1: missing-image is an error and cannot be allowed: the packager or a "
       "client fails on it"},
      {"allow\n", "cfg/.branding-lint:1: expected KEY = VALUE (allow, deny or dir)"},
  };
  for (const auto& [text, expected] : cases) {
    const auto parsed = bp::ParseConfig(text, "cfg/.branding-lint");
    std::string got;
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
      got = *problem;
    } else {
      const bp::LintConfig& config = std::get<bp::LintConfig>(parsed);
      got = "allowed";
      for (const auto& id : config.policy.allowed) got += " " + id;
      got += " denied";
      for (const auto& id : config.policy.denied) got += " " + id;
      got += " dirs";
      for (const auto& dir : config.dirs) got += " " + dir;
    }
    EXPECT_EQ(got, expected);
  }
  // The command line wins: what it allows is no longer denied, and the other way round.
  const bp::Policy merged =
      bp::Merged({false, {"schema"}, {"link-url"}}, {true, {"link-url"}, {"schema", "empty-text"}});
  EXPECT_EQ(merged.allowed, (std::set<std::string>{"link-url"}));
  EXPECT_EQ(merged.denied, (std::set<std::string>{"empty-text", "schema"}));
  EXPECT_TRUE(merged.strict);
}

// Did you mean: near enough to be a typo, and no nearer than the bound.
TEST(LintConfig, NearestNameIsATyposDistance) {
  const std::vector<std::string> known = {"dir", "--json", "link-url"};
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"dri", "dir"},         {"xyz", std::nullopt},    {"--jsno", "--json"},
      {"--js", std::nullopt}, {"lnk-urls", "link-url"}, {"link", std::nullopt}};
  for (const auto& [word, nearest] : cases) EXPECT_EQ(bp::Nearest(word, known), nearest) << word;
}

// The nearest file from the input's folder up, no higher than the repository's top.
TEST(LintConfig, FoundFromTheInputUpToTheRepositoryTop) {
  testing_support::TempDir dir;
  ASSERT_EQ(mkdir((dir / "repo").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "repo/.git").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "repo/a").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "repo/a/b").c_str(), 0755), 0);
  testing_support::WriteFile(dir / ".branding-lint", "");
  EXPECT_EQ(bp::FindConfig(dir / "repo/a/b/l.xml"), std::nullopt);
  testing_support::WriteFile(dir / "repo/a/.branding-lint", "");
  EXPECT_EQ(bp::FindConfig(dir / "repo/a/b/l.xml"), dir / "repo/a/b/../.branding-lint");
  // One at the repository's top applies: .git ends the search after it.
  ASSERT_EQ(unlink((dir / "repo/a/.branding-lint").c_str()), 0);
  testing_support::WriteFile(dir / "repo/.branding-lint", "");
  EXPECT_EQ(bp::FindConfig(dir / "repo/a/b/l.xml"), dir / "repo/a/b/../../.branding-lint");
}

// A policy file is a make prerequisite by a name with a folder: a bare ".branding-lint" is
// made whole, which make would take for a special target.
TEST(LintConfig, PrerequisiteNamesAFolder) {
  EXPECT_EQ(bp::ConfigPrerequisite("a/.branding-lint"), "a/.branding-lint");
  EXPECT_EQ(bp::ConfigPrerequisite(".branding-lint"),
            (std::filesystem::current_path() / ".branding-lint").string());
}

// A policy file another user could have written is not used, with a warning naming it; one
// that cannot be read (a link to nothing, a loop, too large) is an error; one named with
// --config is the user's choice. The search climbs only through the user's own folders.
TEST(LintConfig, TrustsOnlyTheUsersOwnFiles) {
  const bool root = geteuid() == 0;
  struct Case {
    const char* name;
    bool needsRoot;
    std::function<void(const std::string& dir)> arrange;  // dir/a/b holds the layout
    bool named;                                           // as --config dir/a/b/.branding-lint
    std::string expected;  // "policy DIRS", "warning ...", "error ..."; dir shown as D
  };
  const std::string kPolicy = "dir = img\n";
  auto write = [&](const std::string& path, mode_t mode) {
    testing_support::WriteFile(path, kPolicy);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  };
  const Case cases[] = {
      {"own file", false, [&](const std::string& d) { write(d + "/a/b/.branding-lint", 0644); },
       false, "policy D/a/b/img"},
      {"another user's file", true,
       [&](const std::string& d) {
         write(d + "/a/b/.branding-lint", 0644);
         ASSERT_EQ(chown((d + "/a/b/.branding-lint").c_str(), 65534, 65534), 0);
       },
       false,
       "warning D/a/b/.branding-lint: not used: it is owned by another user (uid 65534) (move "
       "it, or name it with --config)"},
      {"named with --config", true,
       [&](const std::string& d) {
         write(d + "/a/b/.branding-lint", 0644);
         ASSERT_EQ(chown((d + "/a/b/.branding-lint").c_str(), 65534, 65534), 0);
       },
       true, "policy D/a/b/img"},
      {"a file every user may write", false,
       [&](const std::string& d) { write(d + "/a/b/.branding-lint", 0666); }, false,
       "warning D/a/b/.branding-lint: not used: it is writable by every user (move it, or name "
       "it with --config)"},
      {"a file its owner's own group may write", false,
       [&](const std::string& d) {
         write(d + "/a/b/.branding-lint", 0664);
         ASSERT_EQ(chown((d + "/a/b/.branding-lint").c_str(), -1, getpwuid(geteuid())->pw_gid), 0);
       },
       false, "policy D/a/b/img"},
      {"a file another group may write", true,
       [&](const std::string& d) {
         write(d + "/a/b/.branding-lint", 0664);
         ASSERT_EQ(chown((d + "/a/b/.branding-lint").c_str(), -1, 65534), 0);
       },
       false,
       "warning D/a/b/.branding-lint: not used: it is writable by group 65534 (move it, or name "
       "it with --config)"},
      {"in a folder every user may write", false,
       [&](const std::string& d) {
         write(d + "/a/b/.branding-lint", 0644);
         ASSERT_EQ(chmod((d + "/a/b").c_str(), 01777), 0);
       },
       false,
       "warning D/a/b/.branding-lint: not used: it is in a folder writable by every user (move "
       "it, or name it with --config)"},
      {"not above a folder every user may write", false,
       [&](const std::string& d) {
         write(d + "/.branding-lint", 0644);
         ASSERT_EQ(chmod((d + "/a").c_str(), 01777), 0);
       },
       false, "policy"},
      {"not above another user's folder", true,
       [&](const std::string& d) {
         write(d + "/.branding-lint", 0644);
         ASSERT_EQ(chown((d + "/a").c_str(), 65534, 65534), 0);
       },
       false, "policy"},
      {"a link to nothing", false,
       [&](const std::string& d) {
         ASSERT_EQ(symlink("gone", (d + "/a/b/.branding-lint").c_str()), 0);
         write(d + "/a/.branding-lint", 0644);
       },
       false, "error D/a/b/.branding-lint: cannot open the policy file: it is a link to nothing"},
      {"too large", false,
       [&](const std::string& d) {
         testing_support::WriteFile(d + "/a/b/.branding-lint",
                                    std::string(bp::kMaxConfigSize + 1, '#'));
       },
       false, "error D/a/b/.branding-lint: policy file too large (more than 65536 bytes)"},
      {"at the bound", false,
       [&](const std::string& d) {
         testing_support::WriteFile(d + "/a/b/.branding-lint",
                                    std::string(bp::kMaxConfigSize, '#'));
       },
       false, "policy"},
  };
  for (const Case& c : cases) {
    if (c.needsRoot && !root) continue;
    testing_support::TempDir dir;
    ASSERT_EQ(mkdir((dir / "a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "a/b").c_str(), 0755), 0);
    c.arrange(dir.path());
    const std::string layout = dir / "a/b/l.xml";
    const auto chosen = bp::ChoosePolicy(
        layout, {},
        c.named ? std::optional<std::string>(dir / "a/b/.branding-lint") : std::nullopt);
    std::string got;
    if (const auto* problem = std::get_if<std::string>(&chosen)) {
      got = "error " + *problem;
    } else if (!std::get<bp::ChosenPolicy>(chosen).warnings.empty()) {
      got = "warning " + std::get<bp::ChosenPolicy>(chosen).warnings.front();
    } else {
      got = "policy";
      for (const auto& folder : std::get<bp::ChosenPolicy>(chosen).dirs) got += " " + folder;
    }
    for (std::size_t at; (at = got.find(dir.path())) != std::string::npos;) {
      got.replace(at, dir.path().size(), "D");
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

// A comment just before an element allows the ids it names there and below, no more; one
// that cannot be applied is an error of its own.
TEST(InlineSuppression, AllowsForItsElementOnly) {
  const std::string layout =
      "<vantu-client-branding version=\"1.0\"><app-name>A</app-name><app-icon>i.png</app-icon>"
      "<toolbar-menu><!-- branding-lint: allow empty-text --> <about-item/><quit-item/>"
      "</toolbar-menu><!-- branding-lint: allow link-url,schema -->\n<about title=\"\"><line "
      "align=\"left\"><hyperlink url=\"htps://x\">x</hyperlink></line></about>"
      "<!-- branding-lint: allow nosuch --><!-- branding-lint: allow missing-image -->"
      "</vantu-client-branding><!-- branding-lint: allow schema -->";
  std::vector<bp::LintedImage> images;
  std::vector<bp::Finding> suppressed;
  const auto findings =
      bp::LintFindings("l.xml", bp::LayoutDocument(layout), {}, images,
                       bp::References::kWhenImagesGiven, bp::Learn::kAll, &suppressed);
  std::vector<std::string> kept;
  for (const auto& f : findings) kept.push_back(f.kind->id + (":" + f.message));
  EXPECT_EQ(kept, (std::vector<std::string>{
                      "empty-text:quit-item is empty",
                      "empty-text:the about title is empty",
                      "suppression:the suppression names no finding nosuch",
                      "suppression:the suppression allows missing-image, an error, which cannot "
                      "be allowed",
                      "suppression:the suppression stands before no element",
                  }));
  std::vector<std::string> left;
  for (const auto& f : suppressed) left.push_back(f.kind->id + (":" + f.element));
  EXPECT_EQ(left, (std::vector<std::string>{"empty-text:toolbar-menu/about-item",
                                            "link-url:about/line/hyperlink"}));
  // The reach of a comment before its parent's last child ends with that child: a finding
  // after the parent is still reported.
  std::string last = layout;
  last.replace(last.find("<!-- branding-lint: allow empty-text --> <about-item/><quit-item/>"), 66,
               "<about-item/><!-- branding-lint: allow empty-text --><quit-item/>");
  suppressed.clear();
  kept.clear();
  for (const auto& f :
       bp::LintFindings("l.xml", bp::LayoutDocument(last), {}, images,
                        bp::References::kWhenImagesGiven, bp::Learn::kAll, &suppressed)) {
    if (f.kind->id == std::string("empty-text")) kept.push_back(f.message);
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"about-item is empty", "the about title is empty"}));
  // A typo beside a valid id is reported, and the valid one still applies.
  std::string typo = layout;
  typo.replace(typo.find("link-url,schema"), 15, "emtpy-text, link-url");
  suppressed.clear();
  kept.clear();
  for (const auto& f :
       bp::LintFindings("l.xml", bp::LayoutDocument(typo), {}, images,
                        bp::References::kWhenImagesGiven, bp::Learn::kAll, &suppressed)) {
    if (f.kind->id == std::string("suppression") || f.kind->id == std::string("link-url")) {
      kept.push_back(f.kind->id + (":" + f.message));
    }
  }
  EXPECT_EQ(kept.front(),
            "suppression:the suppression names no finding emtpy-text (did you mean empty-text?)");
  EXPECT_EQ(
      std::count_if(suppressed.begin(), suppressed.end(),
                    [](const bp::Finding& f) { return f.kind->id == std::string("link-url"); }),
      1);
}

}  // namespace
