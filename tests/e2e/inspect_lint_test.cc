// The companion's lint: every finding with its position, severity and status.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::JpegBytes;
using testing_support::PngBytes;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::string kLayout = testing_support::kSampleLayout;

TEST(InspectLint, EveryFindingWithItsPosition) {
  TempDir dir;
  WriteFile(dir / "bad.xml",
            "<?xml version=\"1.0\"?>\n<vantu-client-branding>\n  <app-icon>icon.png</app-icon>\n"
            "  <toolbar-menu/>\n  <about>\n    <line align=\"Left\"><logo>x.png</logo><image/>\n"
            "</line>\n  </about>\n</vantu-client-branding>\n");
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "other.jpg", JpegBytes(200));
  const std::string f = dir / "bad.xml";
  const auto run = RunInspect({"lint", f, dir / "icon.png", dir / "other.jpg"});
  EXPECT_EQ(run.status, 5);
  // Each with its catalogue id; the schema's findings stay warnings beside the rules' errors.
  EXPECT_EQ(run.out,
            f + ":2:1: error: Must contain node: app-name [layout-rule]\n" + f +
                ":2:1: error: No reference found for resource: other.jpg [unreferenced-image]\n" +
                f +
                ":2:1: warning: Element 'vantu-client-branding': The attribute 'version' is "
                "required but missing. [schema]\n" +
                f +
                ":3:3: warning: Element 'app-icon': This element is not expected. Expected is "
                "( app-name ). [schema]\n" +
                f + ":5:3: error: about must contain attribute: title [layout-rule]\n" + f +
                ":6:5: error: align must be either: left, center or right [layout-rule]\n" + f +
                ":6:24: error: No resource found for reference: x.png [missing-image]\n" + f +
                ":6:42: error: Unexpected line node: image [layout-rule]\n" +
                dir / "icon.png: PNG, 2x1 pixels, 100 bytes\n" +
                dir / "other.jpg: JPEG, 3x2 pixels, 200 bytes\n" + f + ": 6 errors, 2 warnings\n");
}

TEST(InspectLint, SchemaOnlyFindingsAreWarnings) {
  TempDir dir;
  WriteFile(dir / "l.xml",
            "<vantu-client-branding><app-name/><app-icon>i.png</app-icon><toolbar-menu/>"
            "<about title=\"t\"/></vantu-client-branding>");
  WriteFile(dir / "i.png", PngBytes(100));
  const auto run = RunInspect({"lint", dir / "l.xml", dir / "i.png"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(":1:1: warning: Element 'vantu-client-branding': The attribute 'version'"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("error:"), std::string::npos);
  EXPECT_EQ(RunInspect({"lint", dir / "missing.xml"}).status, 2);

  // An image nobody refers to is an error at the root element; the schema stays a warning.
  WriteFile(dir / "o.jpg", JpegBytes(200));
  const auto extra = RunInspect({"lint", dir / "l.xml", dir / "i.png", dir / "o.jpg"});
  EXPECT_EQ(extra.status, 6);
  EXPECT_EQ(
      extra.out.find(dir / "l.xml" +
                     ":1:1: error: No reference found for resource: o.jpg [unreferenced-image]\n"),
      0u)
      << extra.out;
  EXPECT_NE(extra.out.find(":1:1: warning: Element"), std::string::npos);
}

// A hostile layout cannot stall lint inside the schema library: schema findings stop at
// 1,000 with one line counting the rest, and an element too wide for the library's
// per-finding walks is reported instead of checked.
TEST(InspectLint, SchemaFindingsAreBounded) {
  TempDir dir;
  const std::string head =
      "<vantu-client-branding version=\"1\"><app-name>a</app-name><app-icon>i.png</app-icon>"
      "<toolbar-menu><about-item>a</about-item><quit-item>q</quit-item></toolbar-menu>"
      "<about title=\"t\">";
  std::string lines;
  for (int i = 0; i < 1500; ++i) lines += "<line align=\"left\" x=\"1\"><text/></line>\n";
  WriteFile(dir / "i.png", testing_support::PngBytes(100));
  WriteFile(dir / "many.xml", head + lines + "</about></vantu-client-branding>");
  auto run = RunInspect({"lint", dir / "many.xml"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1003);
  EXPECT_NE(run.out.find(dir / "many.xml" +
                         ": note: 500 more schema findings not shown [schema-capped]\n" +
                         dir / "i.png: PNG, 2x1 pixels, 100 bytes\n" +
                         dir / "many.xml: 0 errors, 1000 warnings, 1 note\n"),
            std::string::npos);

  lines.clear();
  for (int i = 0; i < 2001; ++i) lines += "<line align=\"left\"><text/></line>";
  WriteFile(dir / "wide.xml", head + lines + "</about></vantu-client-branding>");
  run = RunInspect({"lint", dir / "wide.xml"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir / "wide.xml" +
                         ":1:163: warning: schema not checked: element 'about' "
                         "holds 2001 nodes, more than 2000 [schema-skipped]\n" +
                         dir / "i.png: PNG, 2x1 pixels, 100 bytes\n" +
                         dir / "wide.xml: 0 errors, 1 warning\n");
}

// A layout the packager accepts, with one thing a person might get wrong; lint warns, and
// --strict makes it count.
struct LintCase {
  const char* name;
  std::string layout;                                       // "" keeps kLayout
  std::vector<std::pair<std::string, std::string>> images;  // file name, content
  std::string finding;                                      // a part of the one line that matters
  int status;                                               // without --strict
  int strictStatus;
};

void PrintTo(const LintCase& c, std::ostream* os) { *os << c.name; }

class LintMisfeatures : public ::testing::TestWithParam<LintCase> {};

TEST_P(LintMisfeatures, WarnedAndStrictFails) {
  const LintCase& c = GetParam();
  TempDir dir;
  WriteFile(dir / "layout.xml", c.layout.empty() ? kLayout : c.layout);
  std::vector<std::string> args{"lint", dir / "layout.xml"};
  auto images = c.images;
  if (images.empty()) images = {{"icon.png", PngBytes(100)}, {"logo.jpg", JpegBytes(200)}};
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::string sub = dir / std::to_string(i);
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    WriteFile(sub + "/" + images[i].first, images[i].second);
    args.push_back(sub + "/" + images[i].first);
  }
  auto run = RunInspect(args);
  EXPECT_EQ(run.status, c.status) << run.out;
  EXPECT_NE(run.out.find(c.finding), std::string::npos) << run.out;
  args.insert(args.begin() + 1, "--strict");  // options go anywhere
  run = RunInspect(args);
  EXPECT_EQ(run.status, c.strictStatus) << run.out;
  // --strict makes the warning count without calling it an error.
  EXPECT_NE(run.out.find(c.finding), std::string::npos) << run.out;
}

const std::string kPng = PngBytes(100);

const std::string kJpeg = JpegBytes(200);

INSTANTIATE_TEST_SUITE_P(
    Lint, LintMisfeatures,
    ::testing::Values(
        LintCase{"MisspelledQuitItem",
                 Replaced(kLayout, "<quit-item>Quit</quit-item>", "<quit-itme>Quit</quit-itme>"),
                 {},
                 "warning: Element 'quit-itme': This element is not expected",
                 0,
                 5},
        LintCase{"EmptyToolbarMenu",
                 Replaced(kLayout, "<about-item>About</about-item><quit-item>Quit</quit-item>", ""),
                 {},
                 "warning: Element 'toolbar-menu': Missing child element(s)",
                 0,
                 5},
        LintCase{"LineWithoutAlign",
                 Replaced(kLayout, " align=\"center\"", ""),
                 {},
                 "The attribute 'align' is required but missing",
                 0,
                 5},
        LintCase{"CapitalisedAlign",
                 Replaced(kLayout, "align=", "Align="),
                 {},
                 "The attribute 'Align' is not allowed",
                 0,
                 5},
        LintCase{"UnknownElement",
                 Replaced(kLayout, "<app-name>", "<window-title/><app-name>"),
                 {},
                 "Element 'window-title': This element is not expected",
                 0,
                 5},
        LintCase{"TwoAppNames",
                 Replaced(kLayout, "<app-name>", "<app-name>A</app-name><app-name>"),
                 {},
                 "Element 'app-name': This element is not expected",
                 0,
                 5},
        LintCase{"MinWidthTooLarge",
                 Replaced(kLayout, "title=", "minWidth=\"300\" title="),
                 {},
                 "'300' is not a valid value of the atomic type 'xs:unsignedByte'",
                 0,
                 5},
        LintCase{"VersionNotANumber",
                 Replaced(kLayout, "\"1.0\"", "\"2.0-beta\""),
                 {},
                 "'2.0-beta' is not a valid value of the atomic type 'xs:decimal'",
                 0,
                 5},
        LintCase{"EmptyAppName",
                 Replaced(kLayout, "<app-name>Demo</app-name>", "<app-name/>"),
                 {},
                 ":1:38: warning: app-name is empty",
                 0,
                 5},
        LintCase{"EmptyTitle",
                 Replaced(kLayout, "title=\"About\"", "title=\"\""),
                 {},
                 "warning: the about title is empty",
                 0,
                 5},
        LintCase{"MismatchedEndTag",
                 Replaced(kLayout, "Demo</app-name>", "Demo</app-nam>"),
                 {},
                 "warning: Opening and ending tag mismatch: app-name line 1 and app-nam",
                 0,
                 5},
        LintCase{"BareAmpersand",
                 Replaced(kLayout, "Demo", "De & mo"),
                 {},
                 "warning: '&' starts no entity or character reference",
                 0,
                 5},
        LintCase{"Latin1",
                 "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>" +
                     Replaced(kLayout, "Demo", "Caf\xE9"),
                 {},
                 ":1:31: warning: declared encoding iso-8859-1",
                 0,
                 5},
        LintCase{"NotUtf8",
                 Replaced(kLayout, "Demo", "Caf\xE9"),
                 {},
                 ":1:51: warning: text is not UTF-8: byte 0xE9",
                 0,
                 5},
        LintCase{"NeitherPngNorJpeg",
                 "",
                 {{"icon.png", "GIF89a, not an image"}, {"logo.jpg", kJpeg}},
                 "icon.png:1:1: error: Invalid Image type. Must be PNG or JPEG [image-format]",
                 4,
                 4},
        LintCase{"TruncatedPng",
                 "",
                 {{"icon.png", kPng.substr(0, 20)}, {"logo.jpg", kJpeg}},
                 "icon.png:1:1: error: does not decode as PNG: the data ends early",
                 4,
                 4},
        LintCase{"TruncatedJpeg",
                 "",
                 {{"icon.png", kPng}, {"logo.jpg", kJpeg.substr(0, 150)}},
                 "logo.jpg:1:1: error: does not decode as JPEG",
                 4,
                 4},
        LintCase{"JpegNamedPng",
                 "",
                 {{"icon.png", kJpeg}, {"logo.jpg", kJpeg}},
                 "icon.png:1:1: warning: the name says PNG, the content is JPEG",
                 0,
                 4},
        LintCase{"PngNamedJpegInCapitals",
                 Replaced(kLayout, "<logo>logo.jpg</logo>", "<logo>logo.JPEG</logo>"),
                 {{"icon.png", kPng}, {"logo.JPEG", kPng}},
                 "logo.JPEG:1:1: warning: the name says JPEG, the content is PNG",
                 0,
                 4},
        LintCase{"OneNameTwoContents",
                 "",
                 {{"icon.png", kPng}, {"logo.jpg", kJpeg}, {"icon.png", PngBytes(101)}},
                 "warning: the image name icon.png is taken by",
                 0,
                 8},
        LintCase{"ImageNamedLayoutXml",
                 Replaced(kLayout, "<logo>logo.jpg</logo>", "<logo>layout.xml</logo>"),
                 {{"icon.png", kPng}, {"layout.xml", kJpeg}},
                 "error: extract would refuse the image name \"layout.xml\"",
                 8,
                 8},
        // Notes, which never fail, with the size the image is shown at.
        LintCase{"LargeIcon",
                 "",
                 {{"icon.png", testing_support::PngOfSize(512, 256)}, {"logo.jpg", kJpeg}},
                 ":1:63: note: the app icon icon.png is 512x256 pixels, larger than 256x256 and "
                 "not square: "
                 "the preview's title bar shows it at 64x32 [image-shown-smaller]",
                 0,
                 0},
        LintCase{"WideLogo",
                 Replaced(kLayout, "logo.jpg", "logo.png"),
                 {{"icon.png", kPng}, {"logo.png", testing_support::PngOfSize(3000, 30)}},
                 "note: the logo logo.png is 3000x30 pixels: the preview's About box shows it at "
                 "most 606x6, scaled down more than 4 times [image-shown-smaller]",
                 0,
                 0}),
    [](const auto& info) { return std::string(info.param.name); });

// lint --json is one object; its findings and images check out field by field. A passing
// lint says so.
TEST(InspectLint, JsonAndSummary) {
  TempDir dir;
  WriteFile(dir / "layout.xml", Replaced(kLayout, "<app-name>Demo</app-name>", "<app-name/>"));
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  auto run = RunInspect({"lint", "--json", dir / "layout.xml", dir / "icon.png", dir / "logo.jpg"});
  EXPECT_EQ(run.status, 0);
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"(d['command'], d['input'], d['status'], d['fault'])",
       "('lint', '" + dir / "layout.xml" + "', 0, None)"},
      {"[(f['id'], f['file'], f['line'], f['column'], f['severity'], f['message']) "
       "for f in d['findings']]",
       "[('empty-text', '" + dir / "layout.xml" + "', 1, 38, 'warning', 'app-name is empty')]"},
      {"[f['element'] for f in d['findings']]", "['app-name']"},
      {"[(i['name'], i['format'], i['width'], i['height'], i['size']) for i in d['images']]",
       "[('icon.png', 'png', 2, 1, 100), ('logo.jpg', 'jpeg', 3, 2, 200)]"},
      {"(d['errors'], d['warnings'])", "(0, 1)"},
  };
  for (const auto& [expression, value] : fields) {
    EXPECT_EQ(testing_support::JsonValue(run.out, expression), value) << expression;
  }
  WriteFile(dir / "layout.xml", kLayout);
  run = RunInspect({"lint", dir / "layout.xml", dir / "icon.png", dir / "logo.jpg"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir / "icon.png: PNG, 2x1 pixels, 100 bytes\n" +
                         dir / "logo.jpg: JPEG, 3x2 pixels, 200 bytes\n" +
                         dir / "layout.xml: 0 errors, 0 warnings\n");
  run = RunInspect({"lint", "--help"});
  EXPECT_NE(run.out.find("<LAYOUT> [<IMAGE> ...]"), std::string::npos) << run.out;
}

// --allow, --deny and --format as the command line takes them, on a layout with one empty
// app-name (a warning); verify takes the same policy.
TEST(InspectLint, PolicyAndFormatOptions) {
  TempDir dir;
  WriteFile(dir / "layout.xml", Replaced(kLayout, "<app-name>Demo</app-name>", "<app-name/>"));
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  const std::string l = dir / "layout.xml";
  const std::string i = dir / "icon.png";
  const std::string j = dir / "logo.jpg";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;  // a part of standard output, or of standard error when status is 1
  };
  const std::vector<Case> cases = {
      {{"--deny", "empty-text"}, 5, ":1:38: error: app-name is empty [empty-text]"},
      {{"--allow", "empty-text", "--strict"}, 0, "0 errors, 0 warnings, 1 allowed"},
      {{"--allow", "link-url", "--deny", "empty-text", "--allow", "schema"},
       5,
       "1 error, 0 warnings"},
      {{"--allow", "missing-image"}, 1, "Error: missing-image is an error and cannot be allowed"},
      {{"--deny", "empty"}, 1, "Error: no finding empty; 'lint --explain all' lists them"},
      {{"--explain", "link-url"}, 0, "link-url: warning, exit status 5\na hyperlink's url"},
      {{"--explain", "nosuch"}, 1, "Error: no finding nosuch; 'lint --explain all' lists them"},
      {{"--format", "xml"}, 1, "Value 'xml' does not meet constraint"},
      {{"--json", "--format", "sarif"}, 1, "Error: --json and --format sarif ask for two formats"},
      {{"--json", "--format", "json"}, 0, "\"warnings\":1,\"notes\":0,\"allowed\":0"},
      {{"--format", "github", "--deny", "empty-text"},
       5,
       "::error file=" + l + ",line=1,col=38,title=empty-text::app-name is empty\n"},
      {{"--dir", dir.path()}, 1, "Error: lint takes images or --dir, not both"},
      {{"--josn"}, 1, "Couldn't find match for argument (did you mean --json?)"},
      {{"--explain", "lnk-url"}, 1, "no finding lnk-url (did you mean link-url?)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"lint", l, i, j};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << run.err;
    EXPECT_NE((c.status == 1 ? run.err : run.out).find(c.out), std::string::npos)
        << c.out << "\n"
        << run.out << run.err;
  }
  // With folders, the images are those the layout names, found there.
  auto run = RunInspect({"lint", "--dir", dir / "none", "--dir", dir.path(), l});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find(i + ": PNG"), std::string::npos) << run.out;
  EXPECT_EQ(RunInspect({"lint", "--dir", dir / "none", l}).status, 6);
  ASSERT_EQ(testing_support::RunTool({"-x", l, "-i", i, "-i", j, "-o", dir / "p.pkg"}).status, 0);
  run = RunInspect({"verify", dir / "p.pkg", "--deny", "empty-text"});
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("error: app-name is empty [empty-text]"), std::string::npos) << run.err;
  run = RunInspect({"verify", dir / "p.pkg", "--strict", "--allow", "empty-text", "--json"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(testing_support::JsonValue(run.out, "(d['allowed'], d['findings'])"), "(1, [])");
  run = RunInspect({"verify", dir / "p.pkg", "--allow", "digest"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Error: digest is an error and cannot be allowed"), std::string::npos)
      << run.err;
}

// Positions past line 65535 keep their numbers, and nesting the schema library would refuse
// by default (deeper than 256) is checked, not reported in the library's own words.
TEST(InspectLint, LongAndDeepLayouts) {
  TempDir dir;
  WriteFile(dir / "long.xml",
            Replaced(kLayout, "<app-name>", std::string(70005, '\n') + "<app-nam/><app-name>"));
  auto run = RunInspect({"lint", dir / "long.xml"});
  EXPECT_NE(run.out.find(dir / "long.xml:70006:1: warning: Element 'app-nam'"), std::string::npos)
      << run.out.substr(0, 400);
  std::string open;
  std::string close;
  for (int i = 0; i < 300; ++i) {
    open += "<b>";
    close += "</b>";
  }
  WriteFile(dir / "icon.png", testing_support::PngBytes(100));
  WriteFile(dir / "logo.jpg", testing_support::JpegBytes(200));
  WriteFile(dir / "deep.xml", Replaced(kLayout, "<logo>logo.jpg</logo>",
                                       "<logo>logo.jpg</logo><text>" + open + close + "</text>"));
  run = RunInspect({"lint", dir / "deep.xml"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("XML_PARSE_HUGE"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Internal error"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("warning: Element 'text'"), std::string::npos) << run.out;
}

}  // namespace

// A policy file found but not trusted stops every command that reads it, in every format, with
// the file, the reason and the way to trust it: CI's case, root over a checkout another uid
// owns (or, run as a plain user, a policy every user may write). Once the folder is trusted,
// or the policy named, the policy applies: its deny = link-url fails the dead link, its dir
// finds the images.
TEST(InspectLint, UntrustedPolicyStopsEverySurface) {
  TempDir dir;
  const std::string top = dir / "checkout";
  const std::string branding = top + "/branding";
  ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((top + "/.git").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(branding.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((branding + "/images").c_str(), 0755), 0);
  const std::string layout = branding + "/layout.xml";
  const std::string policy = branding + "/.branding-lint";
  WriteFile(layout, Replaced(kLayout, "<logo>logo.jpg</logo>",
                             "<logo>logo.jpg</logo><hyperlink url=\"htps://example.com/\">Home"
                             "</hyperlink>"));
  WriteFile(branding + "/images/icon.png", PngBytes(100));
  WriteFile(branding + "/images/logo.jpg", JpegBytes(200));
  WriteFile(policy, "deny = link-url\ndir = images\n");
  const std::string package = branding + "/p.pkg";
  ASSERT_EQ(testing_support::RunTool({"-x", layout, "-i", branding + "/images/icon.png", "-i",
                                      branding + "/images/logo.jpg", "-o", package})
                .status,
            0);
  const bool root = geteuid() == 0;
  std::string why;
  if (root) {
    ASSERT_EQ(std::system(("chown -R 1001:1001 '" + top + "'").c_str()), 0);
    why = "owned by another user (uid 1001)";
  } else {
    ASSERT_EQ(chmod(policy.c_str(), 0666), 0);
    why = "writable by every user";
  }
  TempDir home;
  const testing_support::ScopedEnv config("XDG_CONFIG_HOME", home.path().c_str());
  const testing_support::ScopedEnv none("BRANDING_PACKAGE_TRUST", nullptr);
  const std::string refused = policy + ": policy file not trusted: it is " + why +
                              "; if you trust who may write it, add its folder " + branding +
                              " to " + home.path() +
                              "/branding-package/trust or to BRANDING_PACKAGE_TRUST, or name a "
                              "policy with --config";
  struct Case {
    std::vector<std::string> args;
    bool onOut;        // the record is on standard output, else on standard error
    std::string part;  // a part of it
  };
  const std::string out = dir / "out.pkg";
  const Case cases[] = {
      {{"lint", layout}, false, "Error: " + refused + "\n"},
      {{"lint", layout, "--json"},
       true,
       "\"status\":1,\"findings\":[],\"fault\":{\"kind\":\"usage\",\"offset\":null,"},
      {{"lint", layout, "--format", "sarif"}, true, "\"ruleId\":\"policy-unusable\""},
      {{"lint", layout, "--format", "github"},
       true,
       "::error file=" + layout + ",title=policy-unusable::" + refused},
      {{"build", layout, "-o", out}, false, "Error: " + refused + "\n"},
      {{"build", layout, "-o", out, "--format", "json"}, false, "\"kind\":\"usage\""},
      {{"verify", package}, false, "Error: " + refused + "\n"},
      {{"verify", package, "--json"}, true, "\"kind\":\"usage\""},
      {{"refs", layout, "--depfile", out}, false, "Error: " + refused + "\n"},
      {{"preview", "--layout", layout, "-o", dir / "page.html"}, false, "Error: " + refused},
  };
  for (const Case& c : cases) {
    const auto run = RunInspect(c.args);
    EXPECT_EQ(run.status, 1) << c.args[0] << ' ' << c.args.back() << run.out << run.err;
    EXPECT_NE((c.onOut ? run.out : run.err).find(c.part), std::string::npos)
        << c.args[0] << ' ' << c.args.back() << "\n"
        << run.out << run.err;
  }
  EXPECT_FALSE(testing_support::Exists(out));
  EXPECT_FALSE(testing_support::Exists(dir / "page.html"));
  // Trusted, by the variable or the user's file, or named: the policy applies.
  const std::string denied = "error: the hyperlink's url \"htps://example.com/\"";
  {
    const testing_support::ScopedEnv trust("BRANDING_PACKAGE_TRUST", ("/elsewhere:" + top).c_str());
    const auto run = RunInspect({"lint", layout});
    EXPECT_EQ(run.status, 5) << run.out << run.err;
    EXPECT_NE(run.out.find(denied), std::string::npos) << run.out;
  }
  ASSERT_EQ(mkdir((home / "branding-package").c_str(), 0700), 0);
  WriteFile(home / "branding-package/trust", "# the runner's checkout\n" + top + "\n");
  EXPECT_EQ(RunInspect({"verify", package}).status, 5);
  ASSERT_EQ(unlink((home / "branding-package/trust").c_str()), 0);
  EXPECT_EQ(RunInspect({"build", layout, "-o", out, "--config", policy}).status, 5);
}

// A suppression that allows nothing is a note of the catalogue, in every format: lint's text,
// JSON and SARIF report it, and the policy can allow it.
TEST(InspectLint, UnusedSuppressionIsReportedEverywhere) {
  TempDir dir;
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  const std::string l = dir / "layout.xml";
  WriteFile(l,
            Replaced(kLayout, "<app-name>", "<!-- branding-lint: allow empty-text --><app-name>"));
  auto run = RunInspect({"lint", "--dir", dir.path(), l});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(l + ":1:38: note: the suppression allows nothing: no finding it names "
                             "is in the element after it [suppression-unused]"),
            std::string::npos)
      << run.out;
  run = RunInspect({"lint", "--dir", dir.path(), l, "--json"});
  EXPECT_EQ(testing_support::JsonValue(run.out, "[f['id'] for f in d['findings']]"),
            "['suppression-unused']");
  run = RunInspect({"lint", "--dir", dir.path(), l, "--format", "sarif"});
  EXPECT_NE(run.out.find("\"ruleId\":\"suppression-unused\""), std::string::npos);
  run = RunInspect({"lint", "--dir", dir.path(), l, "--allow", "suppression-unused"});
  EXPECT_NE(run.out.find("0 errors, 0 warnings, 1 allowed"), std::string::npos) << run.out;
}
