// The project's policy: its file, found and read, and the layout's inline suppressions.
#include "inspect/model/lint_config.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>

#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "base/nearest.h"
#include "base/trust.h"
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

// A policy file another user could have written stops the run, naming it, why, and how to
// trust its folder; one that cannot be read (a link to nothing, a loop, too large) is an error;
// one named with --config is the user's choice. The search climbs into another user's
// folders, never into one every user may write. A found policy's folders stay in its tree.
TEST(LintConfig, TrustsOnlyTheUsersOwnFiles) {
  const bool root = geteuid() == 0;
  struct Case {
    const char* name;
    bool needsRoot;
    std::function<bool(const std::string& dir)> arrange;  // dir/a/b holds the layout; false:
                                                          // this machine cannot (skipped)
    bool named;                                           // as --config dir/a/b/.branding-lint
    std::string expected;         // "policy DIRS" or "error ..."; dir shown as D, the way to trust
                                  // the folder F as "[trust F]"
    const char* trust = nullptr;  // BRANDING_PACKAGE_TRUST, D standing for dir
  };
  const std::string kPolicy = "dir = img\n";
  auto write = [&](const std::string& path, mode_t mode, const std::string& text = "dir = img\n") {
    testing_support::WriteFile(path, text);
    return chmod(path.c_str(), mode) == 0;
  };
  auto theirs = [&](const std::string& path) {
    return write(path, 0644) && chown(path.c_str(), 65534, 65534) == 0;
  };
  // An ACL entry, where the file system keeps them.
  auto acl = [](const std::string& entry, const std::string& path) {
    return std::system(("setfacl -m '" + entry + "' '" + path + "' 2>/dev/null").c_str()) == 0;
  };
  testing_support::TempDir home;
  const testing_support::ScopedEnv config("XDG_CONFIG_HOME", home.path().c_str());
  const std::string trustFile = home / "branding-package/trust";
  // How the refusal says to trust folder.
  auto trust = [&](const std::string& folder) {
    return "; if you trust who may write it, add its folder " + folder + " to " + trustFile +
           " or to BRANDING_PACKAGE_TRUST, or name a policy with --config";
  };
  const std::string kNotTrusted = "error D/a/b/.branding-lint: policy file not trusted: it is ";
  const Case cases[] = {
      {"own file", false,
       [&](const std::string& d) { return write(d + "/a/b/.branding-lint", 0644); }, false,
       "policy D/a/b/img"},
      {"another user's file", true,
       [&](const std::string& d) { return theirs(d + "/a/b/.branding-lint"); }, false,
       kNotTrusted + "owned by another user (uid 65534)" + trust("D/a/b")},
      {"another user's file in a folder trusted by the setting", true,
       [&](const std::string& d) { return theirs(d + "/a/b/.branding-lint"); }, false,
       "policy D/a/b/img", "/nowhere:D/a"},
      {"named with --config", true,
       [&](const std::string& d) { return theirs(d + "/a/b/.branding-lint"); }, true,
       "policy D/a/b/img"},
      {"a file every user may write", false,
       [&](const std::string& d) { return write(d + "/a/b/.branding-lint", 0666); }, false,
       kNotTrusted + "writable by every user" + trust("D/a/b")},
      {"a file its owner's own group may write", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0664) &&
                chown((d + "/a/b/.branding-lint").c_str(), -1, getpwuid(geteuid())->pw_gid) == 0;
       },
       false, "policy D/a/b/img"},
      {"a file another group may write", true,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0664) &&
                chown((d + "/a/b/.branding-lint").c_str(), -1, 65534) == 0;
       },
       false, kNotTrusted + "writable by group 65534" + trust("D/a/b")},
      {"a file another user may write through its ACL", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644) &&
                acl("u:65534:rw", d + "/a/b/.branding-lint");
       },
       false, kNotTrusted + "writable by user 65534 through its ACL" + trust("D/a/b")},
      {"a file another group may write through its ACL", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644) &&
                acl("g:65534:rw", d + "/a/b/.branding-lint");
       },
       false, kNotTrusted + "writable by group 65534 through its ACL" + trust("D/a/b")},
      {"an ACL entry its mask takes the write from", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644) &&
                acl("u:65534:rw", d + "/a/b/.branding-lint") &&
                acl("m::r", d + "/a/b/.branding-lint");
       },
       false, "policy D/a/b/img"},
      {"in a folder another user may write through its ACL", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644) && acl("u:65534:rwx", d + "/a/b");
       },
       false, kNotTrusted + "in a folder writable by user 65534 through its ACL" + trust("D/a/b")},
      {"in a folder every user may write", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644) && chmod((d + "/a/b").c_str(), 01777) == 0;
       },
       false, kNotTrusted + "in a folder writable by every user" + trust("D/a/b")},
      {"a link to a file in a folder every user may write", false,
       [&](const std::string& d) {
         return mkdir((d + "/w").c_str(), 0777) == 0 && chmod((d + "/w").c_str(), 0777) == 0 &&
                write(d + "/w/policy", 0644) &&
                symlink("../../w/policy", (d + "/a/b/.branding-lint").c_str()) == 0;
       },
       false, kNotTrusted + "in a folder writable by every user" + trust("D/w")},
      {"not above a folder every user may write", false,
       [&](const std::string& d) {
         return write(d + "/.branding-lint", 0644) && chmod((d + "/a").c_str(), 01777) == 0;
       },
       false, "policy"},
      {"the user's own above another user's folder", true,
       [&](const std::string& d) {
         return write(d + "/.branding-lint", 0644) && chown((d + "/a").c_str(), 65534, 65534) == 0;
       },
       false, "policy D/a/b/../../img"},
      {"another user's above another user's folder", true,
       [&](const std::string& d) {
         return theirs(d + "/.branding-lint") && chown((d + "/a").c_str(), 65534, 65534) == 0;
       },
       false,
       "error D/a/b/../../.branding-lint: policy file not trusted: it is owned by another user "
       "(uid 65534)" +
           trust("D")},
      {"a link to nothing", false,
       [&](const std::string& d) {
         return symlink("gone", (d + "/a/b/.branding-lint").c_str()) == 0 &&
                write(d + "/a/.branding-lint", 0644);
       },
       false, "error D/a/b/.branding-lint: cannot open the policy file: it is a link to nothing"},
      {"too large", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644, std::string(bp::kMaxConfigSize + 1, '#'));
       },
       false, "error D/a/b/.branding-lint: policy file too large (more than 65536 bytes)"},
      {"at the bound", false,
       [&](const std::string& d) {
         return write(d + "/a/b/.branding-lint", 0644, std::string(bp::kMaxConfigSize, '#'));
       },
       false, "policy"},
      // Folders: inside the repository (or, outside one, the policy's own tree) when found.
      {"a dir inside the repository, above the policy", false,
       [&](const std::string& d) {
         return mkdir((d + "/a/.git").c_str(), 0755) == 0 &&
                write(d + "/a/b/.branding-lint", 0644, "dir = ../img\n");
       },
       false, "policy D/a/b/../img"},
      {"a dir out of the repository", false,
       [&](const std::string& d) {
         return mkdir((d + "/a/.git").c_str(), 0755) == 0 &&
                write(d + "/a/b/.branding-lint", 0644, "deny = link-url\ndir = ../../private\n");
       },
       false,
       "error D/a/b/.branding-lint:2: dir ../../private leaves D/a, the tree this policy file "
       "was found in (give such a folder with --dir, or name the policy with --config)"},
      {"a dir through a link out of the tree", false,
       [&](const std::string& d) {
         return symlink("/etc", (d + "/a/b/img").c_str()) == 0 &&
                write(d + "/a/b/.branding-lint", 0644);
       },
       false,
       "error D/a/b/.branding-lint:1: dir img leaves D/a/b, the tree this policy file was found "
       "in (give such a folder with --dir, or name the policy with --config)"},
      {"a dir out of the tree, named with --config", false,
       [&](const std::string& d) { return write(d + "/a/b/.branding-lint", 0644, "dir = /etc\n"); },
       true, "policy /etc"},
  };
  for (const Case& c : cases) {
    if (c.needsRoot && !root) {
      std::cout << "skipped: " << c.name << " (needs root, to make another user's file)\n";
      continue;
    }
    testing_support::TempDir dir;
    ASSERT_EQ(mkdir((dir / "a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir / "a/b").c_str(), 0755), 0);
    if (!c.arrange(dir.path())) {
      std::cout << "skipped: " << c.name << " (this file system keeps no ACL)\n";
      continue;
    }
    std::string trusted = c.trust != nullptr ? c.trust : "";
    for (std::size_t at = 0; (at = trusted.find('D', at)) != std::string::npos;
         at += dir.path().size()) {
      trusted.replace(at, 1, dir.path());
    }
    const testing_support::ScopedEnv variable("BRANDING_PACKAGE_TRUST",
                                              c.trust != nullptr ? trusted.c_str() : nullptr);
    const std::string layout = dir / "a/b/l.xml";
    const auto chosen = bp::ChoosePolicy(
        layout, {},
        c.named ? std::optional<std::string>(dir / "a/b/.branding-lint") : std::nullopt);
    std::string got;
    if (const auto* problem = std::get_if<std::string>(&chosen)) {
      got = "error " + *problem;
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

// The user's file of trusted folders: its lines trust folders, as the variable does; one that
// another user could have written, or that names a folder by a relative path, stops the run.
TEST(LintConfig, TrustedFoldersFromTheUsersFile) {
  testing_support::TempDir home;
  const testing_support::ScopedEnv config("XDG_CONFIG_HOME", home.path().c_str());
  const testing_support::ScopedEnv variable("BRANDING_PACKAGE_TRUST", nullptr);
  ASSERT_EQ(mkdir((home / "branding-package").c_str(), 0755), 0);
  const std::string file = home / "branding-package/trust";
  const std::pair<std::string, std::string> cases[] = {
      {"# CI checkouts\n/ci/checkout  # the runner's\n\n/srv/*/x\n", "/ci/checkout /srv/*/x"},
      {"*\n", "every"},
      {"/ok\nrelative\n",
       "error " + file + ":2: a trusted folder is named whole, from /: relative"},
  };
  for (const auto& [text, expected] : cases) {
    testing_support::WriteFile(file, text);
    const bp::TrustedFolders trusted = bp::ReadTrustedFolders();
    std::string got = trusted.problem ? "error " + *trusted.problem : "";
    if (!trusted.problem) {
      if (trusted.every) got = "every";
      for (const auto& folder : trusted.folders) got += (got.empty() ? "" : " ") + folder;
    }
    EXPECT_EQ(got, expected);
  }
  EXPECT_TRUE(bp::Covers({{"/ci/checkout"}, false, std::nullopt}, "/ci/checkout/branding"));
  EXPECT_FALSE(bp::Covers({{"/ci/checkout"}, false, std::nullopt}, "/ci/checkouts"));
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  EXPECT_EQ(bp::ReadTrustedFolders().problem,
            file +
                ": the trusted folders are not read from it: it is writable by every user "
                "(make it yours and writable by you alone)");
}

// A group's write is trusted only when its one member is the owner: not a primary group
// that other users share (nobody's, which _apt and sync share on Debian).
TEST(LintConfig, GroupSharedWithOtherUsersIsNotTrusted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run as a second user";
  // The owner is the first user whose primary group is 65534, so that the others come after.
  std::vector<uid_t> sharers;
  setpwent();
  while (const passwd* user = getpwent()) {
    if (user->pw_gid == 65534) sharers.push_back(user->pw_uid);
  }
  endpwent();
  if (sharers.size() < 2) GTEST_SKIP() << "no two users share primary group 65534 here";
  const uid_t owner = sharers.front();
  testing_support::TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "a").c_str(), 0755), 0);
  ASSERT_EQ(chown((dir / "a").c_str(), owner, 65534), 0);
  const testing_support::ScopedEnv config("XDG_CONFIG_HOME", (dir / "none").c_str());
  const int answer = testing_support::AsUser(owner, 65534, [&] {
    const std::string policy = dir / "a/.branding-lint";
    testing_support::WriteFile(policy, "dir = img\n");
    if (chmod(policy.c_str(), 0664) != 0) return 3;
    const auto chosen = bp::ChoosePolicy(dir / "a/l.xml", {}, std::nullopt);
    const auto* problem = std::get_if<std::string>(&chosen);
    if (problem == nullptr) return 1;
    return problem->find("it is writable by group 65534;") != std::string::npos ? 0 : 2;
  });
  EXPECT_EQ(answer, 0);
}

// A comment just before an element allows the ids it names there and below, no more; one
// that cannot be applied is an error of its own.
// A suppression that allows nothing is a finding of its own, and a finding carries its fix,
// made where the fault is found: the comment removed with its line, a scheme one slip from
// http, https or mailto corrected; none for a scheme no slip away.
TEST(InlineSuppression, UnusedOneAndFixesAreFindings) {
  const std::string layout =
      "<vantu-client-branding version=\"1.0\"><app-name>A</app-name><app-icon>i.png</app-icon>\n"
      "  <!-- branding-lint: allow empty-text -->\n"
      "  <toolbar-menu><about-item>A</about-item><quit-item>Q</quit-item></toolbar-menu>"
      "<about title=\"T\"><line align=\"left\"><hyperlink url=\"htps://x.example/\">x</hyperlink>"
      "<hyperlink url=\"gopher://x.example/\">y</hyperlink></line></about>"
      "<!-- branding-lint: allow link-url --> <app-name>B</app-name></vantu-client-branding>";
  std::vector<bp::LintedImage> images;
  const auto findings = bp::LintFindings("l.xml", bp::LayoutDocument(layout), {}, images);
  std::vector<std::string> got;
  for (const auto& f : findings) {
    std::string line = f.kind->id + std::string(" ") + bp::SeverityName(f.severity());
    for (const bp::Fix& fix : f.fixes) {
      line += " [" + fix.title;
      for (const bp::Edit& e : fix.edits) {
        line += " " + std::to_string(e.begin) + "-" + std::to_string(e.end) + "=" + e.newText;
      }
      line += "]";
    }
    got.push_back(line);
  }
  const std::size_t comment = layout.find("  <!--");
  const std::size_t scheme = layout.find("htps");
  const std::size_t second = layout.find("<!-- branding-lint: allow link-url -->");
  EXPECT_EQ(got, (std::vector<std::string>{
                     "suppression-unused note [Remove the suppression that allows nothing " +
                         std::to_string(comment) + "-" +
                         std::to_string(layout.find("<toolbar-menu>") - 2) + "=]",
                     "link-url warning [Change the scheme htps to https " + std::to_string(scheme) +
                         "-" + std::to_string(scheme + 4) + "=https]",
                     "link-url warning",
                     "suppression-unused note [Remove the suppression that allows nothing " +
                         std::to_string(second) + "-" + std::to_string(second + 38) + "=]",
                     "schema warning",
                 }));
}

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
