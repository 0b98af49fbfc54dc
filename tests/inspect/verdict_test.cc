// One input, one verdict: lint of a layout and its images, and verify of the package the
// packager builds from them, report the same findings with the same severities.
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "inspect/commands/commands.h"
#include "inspect/lsp/lsp_analysis.h"
#include "inspect/model/check_session.h"
#include "inspect/model/checks.h"
#include "inspect/model/found_images.h"
#include "inspect/model/package_contents.h"
#include "package/file_writer.h"
#include "package/write_package.h"
#include "test_support.h"

namespace bp = vantu::branding_package;
using testing_support::JpegBytes;
using testing_support::PngBytes;
using testing_support::PngOfSize;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A layout (without declaration: the package does not keep one) and its images, each in
// a folder of its own so that two may share a name.
struct VerdictCase {
  const char* name;
  std::string layout;
  std::vector<std::pair<std::string, std::string>> images;  // file name, content
  std::vector<std::string> ids;                             // what both must find, sorted
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

std::string Layout(const std::string& icon, const std::string& logo, const std::string& extra) {
  return "<vantu-client-branding version=\"1.0\"><app-name>Demo</app-name><app-icon>" + icon +
         "</app-icon><toolbar-menu><about-item>About</about-item><quit-item>Quit</quit-item>"
         "</toolbar-menu><about title=\"About\"><line align=\"center\"><logo>" +
         logo + "</logo>" + extra + "</line></about></vantu-client-branding>";
}

// (id, severity) of each finding, sorted.
std::vector<std::string> Verdict(const std::vector<bp::Finding>& findings) {
  std::vector<std::string> ids;
  for (const bp::Finding& f : findings) {
    ids.push_back(std::string(f.kind->id) + ":" + bp::SeverityName(f.severity()));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

class OneVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(OneVerdict, LintOfTheFilesAndVerifyOfThePackageAgree) {
  const VerdictCase& c = GetParam();
  TempDir dir;
  WriteFile(dir / "layout.xml", c.layout);
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < c.images.size(); ++i) {
    const std::string folder = dir / std::to_string(i);
    std::filesystem::create_directory(folder);
    WriteFile(folder + "/" + c.images[i].first, c.images[i].second);
    paths.push_back(folder + "/" + c.images[i].first);
  }
  std::vector<bp::LintedImage> linted;
  const auto lint =
      bp::LintFindings(dir / "layout.xml", bp::LayoutDocument(c.layout), paths, linted);

  cBP_FILE_WRITER writer("");
  writer.LoadLayout(dir / "layout.xml");
  for (const std::string& path : paths) writer.AddImage(path);
  writer.CheckReferences();
  const std::string package = bp::EncodePackage(writer.components);
  bp::MemorySource source(package);
  const bp::PackageContents contents = bp::ReadPackageContents(source, bp::FileDigest::kSkip);
  ASSERT_FALSE(contents.fault) << contents.fault->message;
  const auto verify =
      bp::PackageFindings(contents, bp::LayoutDocument(contents.layoutText), "p.pkg");

  EXPECT_EQ(Verdict(lint), c.ids);
  EXPECT_EQ(Verdict(verify), c.ids);
  for (bool strict : {false, true}) {
    EXPECT_EQ(bp::StatusOf(lint, strict), bp::StatusOf(verify, strict)) << strict;
  }
}

const std::string kPng = PngBytes(100);
const std::string kJpeg = JpegBytes(200);

INSTANTIATE_TEST_SUITE_P(
    Inputs, OneVerdict,
    ::testing::Values(
        VerdictCase{"Sound",
                    Layout("icon.png", "logo.jpg", ""),
                    {{"icon.png", kPng}, {"logo.jpg", kJpeg}},
                    {}},
        VerdictCase{"Latin1Layout",
                    Layout("icon.png", "logo.jpg", "<text>Caf\xE9</text>"),
                    {{"icon.png", kPng}, {"logo.jpg", kJpeg}},
                    {"not-utf8:warning"}},
        VerdictCase{"OneNameTwoContents",
                    Layout("icon.png", "logo.jpg", ""),
                    {{"icon.png", kPng}, {"logo.jpg", kJpeg}, {"icon.png", PngBytes(101)}},
                    {"image-name-shared:warning"}},
        VerdictCase{"MisspeltMenuItem",
                    [] {
                      std::string text = Layout("icon.png", "logo.jpg", "");
                      const std::string item = "<quit-item>Quit</quit-item>";
                      return text.replace(text.find(item), item.size(),
                                          "<quit-itme>Quit</quit-itme>");
                    }(),
                    {{"icon.png", kPng}, {"logo.jpg", kJpeg}},
                    {"schema:warning"}},
        VerdictCase{"ImageThatDoesNotDecode",
                    Layout("icon.png", "logo.jpg", ""),
                    {{"icon.png", kPng.substr(0, 40)}, {"logo.jpg", kJpeg}},
                    {"image-decode:error"}},
        VerdictCase{"NameExtractRefuses",
                    Layout("icon.png", "layout.xml", ""),
                    {{"icon.png", kPng}, {"layout.xml", kJpeg}},
                    {"image-name-refused:error"}},
        // Notes of images the preview shows much smaller, at and past each bound.
        VerdictCase{"IconAt256AndLogoAt4Times",
                    Layout("icon.png", "logo.png", ""),
                    {{"icon.png", PngOfSize(256, 256)}, {"logo.png", PngOfSize(606 * 4, 1)}},
                    {}},
        VerdictCase{"IconPast256AndLogoPast4Times",
                    Layout("icon.png", "logo.png", ""),
                    {{"icon.png", PngOfSize(257, 257)}, {"logo.png", PngOfSize(606 * 4 + 1, 1)}},
                    {"image-shown-smaller:note", "image-shown-smaller:note"}},
        VerdictCase{"SmallIconNotSquare",
                    Layout("icon.png", "logo.jpg", ""),
                    {{"icon.png", PngOfSize(32, 16)}, {"logo.jpg", kJpeg}},
                    {}},
        VerdictCase{"LargerIconNotSquare",
                    Layout("icon.png", "logo.jpg", ""),
                    {{"icon.png", PngOfSize(32, 33)}, {"logo.jpg", kJpeg}},
                    {"image-shown-smaller:note"}},
        // Drawn 32 high, these are shown at their own size.
        VerdictCase{"WideIconAtTheTitleBarsHeight",
                    Layout("icon.png", "logo.jpg", ""),
                    {{"icon.png", PngOfSize(2000, 32)}, {"logo.jpg", kJpeg}},
                    {}},
        VerdictCase{"HyperlinkWithoutScheme",
                    Layout("icon.png", "logo.jpg", "<hyperlink url=\"example.com\">x</hyperlink>"),
                    {{"icon.png", kPng}, {"logo.jpg", kJpeg}},
                    {"link-url:warning"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every surface a layout is checked on (lint, build, preview, the language server) finds its
// images by one rule, applies the whole policy and gives one status for one input.
struct SurfaceCase {
  const char* name;
  std::string extra;                                       // in the About box's line
  std::vector<std::pair<std::string, std::string>> files;  // path in the folder, content
  int status;
};

class EverySurface : public ::testing::TestWithParam<SurfaceCase> {};

TEST_P(EverySurface, OneStatusForOneInput) {
  const SurfaceCase& c = GetParam();
  TempDir dir;
  std::filesystem::create_directory(dir / "images");
  const std::string layout = dir / "layout.xml";
  WriteFile(layout, Layout("icon.png", "logo.jpg", c.extra));
  for (const auto& [name, content] : c.files) WriteFile(dir / name, content);
  std::ostringstream out;
  std::ostringstream err;
  bp::LintOptions lint;
  EXPECT_EQ(bp::LintLayout(layout, {}, lint, out, err), c.status) << "lint " << out.str();
  bp::BuildOptions build;
  build.output = dir / "out.pkg";
  EXPECT_EQ(bp::BuildFromLayout(layout, build, out, err), c.status) << "build " << err.str();
  bp::CheckSession previewSession(bp::PreviewRequest());
  EXPECT_EQ(bp::MakeLayoutPreview(previewSession, layout, {}, bp::PageKind::kStandalone).status,
            c.status)
      << "preview";
  bp::CheckSession editorSession({});
  EXPECT_EQ(bp::Analyse(layout, testing_support::ReadFile(layout), editorSession)->report.status,
            c.status)
      << "language server";
}

const std::string kPolicyDir = "dir = images\n";

INSTANTIATE_TEST_SUITE_P(
    Inputs, EverySurface,
    ::testing::Values(
        SurfaceCase{"Sound", "", {{"icon.png", kPng}, {"logo.jpg", kJpeg}}, 0},
        // A PNG signature and nothing that decodes: build stops where lint does.
        SurfaceCase{
            "ImageThatDoesNotDecode",
            "",
            {{"icon.png", "\x89PNG\r\n\x1a\n" + std::string(20, '\0')}, {"logo.jpg", kJpeg}},
            4},
        SurfaceCase{"ImagesInAFolderNoOneNames",
                    "",
                    {{"images/icon.png", kPng}, {"images/logo.jpg", kJpeg}},
                    6},
        SurfaceCase{
            "ImagesInThePolicysFolder",
            "",
            {{"images/icon.png", kPng}, {"images/logo.jpg", kJpeg}, {".branding-lint", kPolicyDir}},
            0},
        SurfaceCase{
            "PolicyDenies",
            "<hyperlink url=\"htps://example.com\">x</hyperlink>",
            {{"icon.png", kPng}, {"logo.jpg", kJpeg}, {".branding-lint", "deny = link-url\n"}},
            5},
        SurfaceCase{
            "InlineSuppression",
            "<!-- branding-lint: allow link-url --><hyperlink url=\"htps://x\">x</hyperlink>",
            {{"icon.png", kPng}, {"logo.jpg", kJpeg}, {".branding-lint", "deny = link-url\n"}},
            0}),
    [](const auto& info) { return std::string(info.param.name); });

// Images are found in the --dir folders, else the policy file's, else the layout's folder.
TEST(ImageFolders, CommandLineThenPolicyThenTheLayoutsFolder) {
  using Folders = std::vector<std::string>;
  EXPECT_EQ(bp::ImageFolders("d/l.xml", Folders{"cli"}, Folders{"policy"}), Folders{"cli"});
  EXPECT_EQ(bp::ImageFolders("d/l.xml", Folders{}, Folders{"policy"}), Folders{"policy"});
  EXPECT_EQ(bp::ImageFolders("d/l.xml", Folders{}, Folders{}), Folders{"d"});
}

// The string literals of text that are words joined by dashes ("image-decode").
std::vector<std::string> KebabLiterals(const std::string& text) {
  std::vector<std::string> found;
  for (std::size_t at = text.find('"'); at != std::string::npos; at = text.find('"', at + 1)) {
    const std::size_t end = text.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", at + 1);
    if (end == std::string::npos || text[end] != '"' || end == at + 1) continue;
    const std::string word = text.substr(at + 1, end - at - 1);
    if (word.find('-') != std::string::npos && word[0] != '-' && word.back() != '-') {
      found.push_back(word);
    }
    at = end;
  }
  return found;
}

// Every kebab-case literal of the companion's sources is a catalogue id, unless it is one of
// the layout's element names or another known word; each id is defined once.
TEST(FindingCatalogue, EveryIdUsedIsDefinedOnce) {
  std::vector<std::string> ids;
  for (const bp::FindingKind& kind : bp::FindingCatalogue()) ids.push_back(kind.id);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
  const std::vector<std::string> words = {"about-item",   "app-icon",
                                          "app-name",     "quit-item",
                                          "toolbar-menu", "vantu-client-branding",
                                          "utf-8",        "branding-package-inspect",
                                          "sarif-root",   "branding-lint",
                                          "utf-16",       "content-length",
                                          "no-store",     "same-origin"};

  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(BP_SOURCE_DIR "/src/inspect")) {
    if (!entry.is_regular_file() || entry.path().filename() == "findings.cc") continue;
    const std::string text = testing_support::ReadFile(entry.path().string());
    for (const std::string& id : KebabLiterals(text)) {
      if (std::find(words.begin(), words.end(), id) != words.end()) continue;
      EXPECT_NE(bp::FindFindingKind(id), nullptr) << entry.path() << ": " << id;
    }
  }
}

// The README's catalogue is the one the code has, never one kept by hand.
TEST(FindingCatalogue, TheReadmeListsTheCodesCatalogue) {
  const std::string readme = testing_support::ReadFile(BP_SOURCE_DIR "/README.md");
  const std::string begin = "<!-- catalogue: begin -->\n";
  const std::size_t start = readme.find(begin);
  const std::size_t end = readme.find("<!-- catalogue: end -->");
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(readme.substr(start + begin.size(), end - start - begin.size()), bp::CatalogueTable())
      << "regenerate it with: branding-package-inspect lint --explain all";
  // A terminal gets it as text, in lines of at most 78 bytes.
  std::istringstream text(bp::CatalogueText());
  for (std::string line; std::getline(text, line);) EXPECT_LE(line.size(), 78u) << line;
}

}  // namespace

namespace {

// A finding of kind id, as a check makes it.
bp::Finding Of(const char* id) {
  return {bp::FindFindingKind(id), "l.xml", 1, 1, bp::kNoOffset, "m"};
}

struct PolicyCase {
  const char* name;
  bp::Policy policy;
  const char* problem;  // what PolicyProblem says, or null
  int status;           // of a link-url warning, a schema-capped note and an empty-text warning
  std::vector<std::string> reported;  // the severities of what is left, in order
  int allowed;
};

void PrintTo(const PolicyCase& c, std::ostream* os) { *os << c.name; }

class Policies : public testing::TestWithParam<PolicyCase> {};

}  // namespace

TEST_P(Policies, AllowLeavesOutAndDenyFails) {
  const PolicyCase& c = GetParam();
  const auto problem = bp::PolicyProblem(c.policy);
  if (c.problem != nullptr) {
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(*problem, c.problem);
    return;
  }
  ASSERT_FALSE(problem.has_value()) << *problem;
  int allowed = 0;
  const auto findings =
      bp::ApplyPolicy({Of("link-url"), Of("schema-capped"), Of("empty-text")}, c.policy, allowed);
  std::vector<std::string> reported;
  for (const bp::Finding& f : findings) {
    reported.push_back(std::string(f.kind->id) + " " + bp::SeverityName(f.severity()));
  }
  EXPECT_EQ(reported, c.reported);
  EXPECT_EQ(allowed, c.allowed);
  EXPECT_EQ(bp::StatusOf(findings, c.policy.strict), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Policy, Policies,
    testing::Values(PolicyCase{"none",
                               {},
                               nullptr,
                               0,
                               {"link-url warning", "schema-capped note", "empty-text warning"},
                               0},
                    PolicyCase{"strict",
                               {true, {}, {}},
                               nullptr,
                               5,
                               {"link-url warning", "schema-capped note", "empty-text warning"},
                               0},
                    PolicyCase{"allowOne",
                               {true, {"link-url"}, {}},
                               nullptr,
                               5,
                               {"schema-capped note", "empty-text warning"},
                               1},
                    PolicyCase{"allowBoth",
                               {true, {"link-url", "empty-text"}, {}},
                               nullptr,
                               0,
                               {"schema-capped note"},
                               2},
                    PolicyCase{"denyWarning",
                               {false, {}, {"empty-text"}},
                               nullptr,
                               5,
                               {"link-url warning", "schema-capped note", "empty-text error"},
                               0},
                    PolicyCase{"denyNote",
                               {false, {"link-url"}, {"schema-capped"}},
                               nullptr,
                               5,
                               {"schema-capped error", "empty-text warning"},
                               1},
                    PolicyCase{"unknown",
                               {false, {}, {"link-urls"}},
                               "no finding link-urls (did you mean link-url?); 'lint --explain "
                               "all' lists them",
                               0,
                               {},
                               0},
                    PolicyCase{"unknownShown",
                               {false, {"a\nb"}, {}},
                               "no finding a\\nb; 'lint --explain all' lists them",
                               0,
                               {},
                               0},
                    PolicyCase{
                        "anError",
                        {false, {"missing-image"}, {}},
                        "missing-image is an error and cannot be allowed: the packager or a client "
                        "fails on it",
                        0,
                        {},
                        0},
                    PolicyCase{"aFaultDenied",
                               {false, {}, {"package-structure"}},
                               "package-structure is a fault, not a finding: it stops the "
                               "reading, whatever the policy",
                               0,
                               {},
                               0},
                    PolicyCase{"both",
                               {false, {"schema"}, {"schema"}},
                               "schema is both allowed and denied",
                               0,
                               {},
                               0}),
    [](const testing::TestParamInfo<PolicyCase>& info) { return info.param.name; });
