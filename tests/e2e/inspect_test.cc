#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::RunInspect;
using testing_support::RunTool;
using testing_support::TempDir;
using testing_support::U32;
using testing_support::WriteFile;

using testing_support::Entries;

// The sample layout: icon.png and logo.jpg.
const std::string kLayout = testing_support::kSampleLayout;

// text with the first from replaced by to.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

class Inspect : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "layout.xml", kLayout);
    WriteFile(dir_ / "icon.png", png_);
    WriteFile(dir_ / "logo.jpg", jpeg_);
    const auto run = RunTool({"-x", dir_ / "layout.xml", "-i", dir_ / "icon.png", "-i",
                              dir_ / "logo.jpg", "-o", package_});
    ASSERT_EQ(run.status, 0) << run.out;
    hash_ = run.out.substr(run.out.find("Hash: ") + 6, 64);
  }

  // The package with its bytes at offset replaced.
  std::string Corrupted(std::size_t offset, const std::string& with) {
    std::string bytes = ReadFile(package_);
    bytes.replace(offset, with.size(), with);
    const std::string path = dir_ / ("bad" + std::to_string(++corrupted_) + ".pkg");
    WriteFile(path, bytes);
    return path;
  }

  // Bytes of the package the fixture builds.
  static std::size_t PackageSize() { return 12 + kLayout.size() + 17 + 737 + 937 + 8; }

  TempDir dir_;
  const std::string package_ = dir_ / "out.pkg";
  const std::string png_ = PngBytes(700);
  const std::string jpeg_ = JpegBytes(900);
  std::string hash_;
  int corrupted_ = 0;
};

// What the packager wrote verifies, lists and extracts back to its inputs.
TEST_F(Inspect, RoundTrip) {
  auto run = RunInspect({"verify", "--sha256", hash_, package_});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, package_ + ": sound package of " + std::to_string(PackageSize()) +
                         " bytes, 2 images\n  icon.png: PNG, 2x1 pixels, 700 bytes\n"
                         "  logo.jpg: JPEG, 3x2 pixels, 900 bytes\n");
  run = RunInspect({"verify", "--json", package_});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"d['package']", package_},
      {"d['sound']", "True"},
      {"d['size']", std::to_string(PackageSize())},
      {"d['fault']", "None"},
      {"[(i['name'], i['format'], i['width'], i['height'], i['dataSize']) for i in d['images']]",
       "[('icon.png', 'png', 2, 1, 700), ('logo.jpg', 'jpeg', 3, 2, 900)]"},
  };
  for (const auto& [expression, value] : fields) {
    EXPECT_EQ(testing_support::JsonValue(run.out, expression), value) << expression;
  }

  run = RunInspect({"list", "--json", "--layout", package_});
  EXPECT_EQ(run.status, 0);
  const std::string layoutJson =
      "{\"offset\":12,\"size\":" + std::to_string(kLayout.size() + 17) +
      ",\"type\":\"layout\",\"textSize\":" + std::to_string(kLayout.size()) + ",\"text\":\"";
  EXPECT_EQ(run.out.find("{\"package\":\"" + package_ + "\",\"records\":[" + layoutJson), 0u)
      << run.out;
  EXPECT_NE(run.out.find("\"name\":\"logo.jpg\",\"format\":\"jpeg\""), std::string::npos);

  run = RunInspect({"extract", package_, dir_ / "x"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Entries(dir_ / "x"), (std::vector<std::string>{"icon.png", "layout.xml", "logo.jpg"}));
  EXPECT_EQ(ReadFile(dir_ / "x/layout.xml"), kLayout);
  EXPECT_TRUE(ReadFile(dir_ / "x/icon.png") == png_);
  EXPECT_TRUE(ReadFile(dir_ / "x/logo.jpg") == jpeg_);
}

TEST_F(Inspect, ListTable) {
  const auto run = RunInspect({"list", package_});
  const std::size_t layoutSize = kLayout.size() + 17;
  const std::size_t iconAt = 12 + layoutSize;
  const std::size_t logoAt = iconAt + 29 + 8 + 700;
  const std::size_t endAt = logoAt + 29 + 8 + 900;
  EXPECT_EQ(run.out, "offset\tsize\trecord\n0\t12\theader, package size " +
                         std::to_string(endAt + 8) + "\n12\t" + std::to_string(layoutSize) +
                         "\tlayout, text of " + std::to_string(kLayout.size()) + " bytes\n" +
                         std::to_string(iconAt) + "\t737\timage icon.png, PNG, 2x1 pixels, 700 bytes of data at " +
                         std::to_string(iconAt + 37) + "\n" + std::to_string(logoAt) +
                         "\t937\timage logo.jpg, JPEG, 3x2 pixels, 900 bytes of data at " +
                         std::to_string(logoAt + 37) + "\n" + std::to_string(endAt) + "\t8\tend\n");
}

TEST_F(Inspect, VerifyReportsEachKindOfFault) {
  const std::size_t text = 28;
  const std::size_t iconAt = 12 + kLayout.size() + 17;
  struct Case {
    std::string package;
    std::vector<std::string> extra;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {Corrupted(0, U32(99)), {}, 3, "offset 0: package size field says 99 bytes, the file has "},
      {Corrupted(iconAt + 8, U32(2)), {}, 4,
       "offset " + std::to_string(iconAt + 37) + ": image data of icon.png is PNG, the record says JPEG"},
      {Corrupted(text + 1, "X"), {}, 5,
       "offset " + std::to_string(text + 1) + ": layout text: Top node must be vantu-client-branding"},
      {Corrupted(text + kLayout.find("logo.jpg"), "lolo"), {}, 6,
       "offset " + std::to_string(text + kLayout.find("<logo>") + 1) +
           ": No resource found for reference: lolo.jpg (and 1 more)"},
      {package_, {"--sha256", std::string(64, '0')}, 7, "SHA-256 is " + hash_},
      // A file that is no package at all is named so, not measured as a damaged one.
      {dir_ / "layout.xml", {}, 3,
       "not a branding package: the header does not hold the format's constants 0 and 1\n"},
      {dir_.path(), {}, 2, "cannot open the file: it is a directory\n"},
      {dir_ / "missing.pkg", {}, 2, "cannot open the file: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"verify"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back(c.package);
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(c.package + ": " + c.err, 0), 0u) << run.err;
  }
}

// verify refuses every name extract refuses, and extract refuses it before writing.
TEST(InspectExtract, NamesThatWouldLeaveTheDirectoryAreRefused) {
  for (const std::string& name :
       std::vector<std::string>{"../evil.png", "a/b.png", "..\\evil.png", "", ".", "..",
                                "layout.xml", std::string(252, 'n') + ".png"}) {
    TempDir dir;
    const std::string layout = Replaced(Replaced(kLayout, "icon.png", "ok.png"), "logo.jpg", name);
    WriteFile(dir / "p.pkg", PackageBytes({LayoutRecordBytes(layout),
                                           ImageRecordBytes("ok.png", 0, PngBytes(100)),
                                           ImageRecordBytes(name, 0, PngBytes(100))}));
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
    // (An empty reference breaks a layout rule first.)
    EXPECT_EQ(RunInspect({"verify", dir / "p.pkg"}).status, name.empty() ? 5 : 8) << name;
    const auto run = RunInspect({"extract", dir / "p.pkg", dir / "out"});
    EXPECT_EQ(run.status, 8) << name;
    EXPECT_NE(run.err.find("refusing to extract an image named \"" + name + "\""),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(Entries(dir / "out").empty()) << name;
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"out", "p.pkg"})) << name;
  }
}

TEST(InspectExtract, ExistingFilesNeedForce) {
  TempDir dir;
  WriteFile(dir / "p.pkg", PackageBytes({LayoutRecordBytes("<x/>"),
                                         ImageRecordBytes("a.png", 0, PngBytes(10))}));
  ASSERT_EQ(mkdir((dir / "out").c_str(), 0755), 0);
  WriteFile(dir / "out/a.png", "mine");
  auto run = RunInspect({"extract", dir / "p.pkg", dir / "out"});
  EXPECT_EQ(run.status, 8);
  EXPECT_EQ(run.err, dir / "p.pkg" + ": " + dir / "out/a.png" + " exists; --force replaces it\n");
  EXPECT_EQ(ReadFile(dir / "out/a.png"), "mine");
  EXPECT_FALSE(Exists(dir / "out/layout.xml"));

  run = RunInspect({"extract", "--force", dir / "p.pkg", dir / "out"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir / "out/a.png\n" + dir / "out/layout.xml\n");
  EXPECT_TRUE(ReadFile(dir / "out/a.png") == PngBytes(10));
}

TEST(InspectExtract, CorruptOrConflictingPackagesWriteNothing) {
  const std::string sound =
      PackageBytes({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(10))});
  const std::vector<std::pair<std::string, int>> cases = {
      {sound.substr(0, sound.size() - 3), 3},
      {PackageBytes({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(10)),
                     ImageRecordBytes("a.png", 0, PngBytes(11))}),
       8},
  };
  for (const auto& [bytes, status] : cases) {
    TempDir dir;
    WriteFile(dir / "p.pkg", bytes);
    const auto run = RunInspect({"extract", dir / "p.pkg", dir / "out"});
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(!Exists(dir / "out") || Entries(dir / "out").empty());
  }
  // The same image stored twice extracts once.
  TempDir dir;
  WriteFile(dir / "p.pkg", PackageBytes({LayoutRecordBytes("<x/>"),
                                         ImageRecordBytes("a.png", 0, PngBytes(10)),
                                         ImageRecordBytes("a.png", 0, PngBytes(10))}));
  EXPECT_EQ(RunInspect({"extract", dir / "p.pkg", dir / "out"}).status, 0);
  EXPECT_EQ(Entries(dir / "out"), (std::vector<std::string>{"a.png", "layout.xml"}));
}

TEST(InspectCli, UsageVersionAndBadCommandLines) {
  auto run = RunInspect({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Usage: branding-package-inspect COMMAND [ARGUMENTS]\n", 0), 0u);
  EXPECT_EQ(RunInspect({"--version"}).out, "branding-package-inspect 24.07\n");

  run = RunInspect({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("Usage: ", 0), 0u);
  run = RunInspect({"frob"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Error: unknown command frob\n\nUsage: ", 0), 0u);
  run = RunInspect({"verify", "--sha256", "abc", "p.pkg"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: --sha256 takes 64 hexadecimal digits\n");
  run = RunInspect({"list"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Required argument missing: package"), std::string::npos) << run.err;
  run = RunInspect({"extract", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("branding-package-inspect extract"), std::string::npos);
}

TEST(InspectCli, JsonListOfACorruptPackageNamesTheFault) {
  TempDir dir;
  const std::string bytes = PackageBytes({LayoutRecordBytes("<x/>")});
  WriteFile(dir / "p.pkg", bytes.substr(0, bytes.size() - 1));
  const auto run = RunInspect({"list", "--json", dir / "p.pkg"});
  EXPECT_EQ(run.status, 3);
  // The records that are there are listed before the fault: here the layout record.
  EXPECT_EQ(run.out, "{\"package\":\"" + dir / "p.pkg" +
                         "\",\"records\":[{\"offset\":12,\"size\":21,\"type\":\"layout\","
                         "\"textSize\":4}],\"fault\":{\"kind\":\"structure\",\"offset\":0,"
                         "\"message\":\"package size field says 41 bytes, the file has 40\"}}\n");
  const auto table = RunInspect({"list", dir / "p.pkg"});
  // The header's own field, not the file's length.
  EXPECT_EQ(table.out, "offset\tsize\trecord\n0\t12\theader, package size 41\n"
                       "12\t21\tlayout, text of 4 bytes\n");
}

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
  EXPECT_EQ(run.out,
            f + ":2:1: error: Must contain node: app-name\n" +
            f + ":2:1: error: No reference found for resource: other.jpg\n" +
            f + ":2:1: error: Element 'vantu-client-branding': The attribute 'version' is "
                "required but missing.\n" +
            f + ":3:3: error: Element 'app-icon': This element is not expected. Expected is "
                "( app-name ).\n" +
            f + ":5:3: error: about must contain attribute: title\n" +
            f + ":6:5: error: align must be either: left, center or right\n" +
            f + ":6:24: error: No resource found for reference: x.png\n" +
            f + ":6:42: error: Unexpected line node: image\n" +
            dir / "icon.png: PNG, 2x1 pixels, 100 bytes\n" +
            dir / "other.jpg: JPEG, 3x2 pixels, 200 bytes\n" + f + ": 8 errors, 0 warnings\n");
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
  EXPECT_EQ(extra.out.find(dir / "l.xml" + ":1:1: error: No reference found for resource: o.jpg\n"),
            0u)
      << extra.out;
  EXPECT_NE(extra.out.find(":1:1: warning: Element"), std::string::npos);
}

}  // namespace

namespace {

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
  WriteFile(dir / "many.xml", head + lines + "</about></vantu-client-branding>");
  auto run = RunInspect({"lint", dir / "many.xml"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1002);
  EXPECT_NE(run.out.find(dir / "many.xml" + ":0:0: warning: 500 more schema findings not shown\n" +
                         dir / "many.xml: 0 errors, 1001 warnings\n"),
            std::string::npos);

  lines.clear();
  for (int i = 0; i < 2001; ++i) lines += "<line align=\"left\"><text/></line>";
  WriteFile(dir / "wide.xml", head + lines + "</about></vantu-client-branding>");
  run = RunInspect({"lint", dir / "wide.xml"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir / "wide.xml" + ":1:163: warning: schema not checked: element 'about' "
                                        "holds 2001 nodes, more than 2000\n" +
                         dir / "wide.xml: 0 errors, 1 warning\n");
}

}  // namespace

namespace {

// A layout the packager accepts, with one thing a person might get wrong; lint warns, and
// --strict makes it count.
struct LintCase {
  const char* name;
  std::string layout;                             // "" keeps kLayout
  std::vector<std::pair<std::string, std::string>> images;  // file name, content
  std::string finding;                            // a part of the one line that matters
  int status;                                     // without --strict
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
  EXPECT_EQ(run.out.find("warning:"), std::string::npos) << run.out;
}

const std::string kPng = PngBytes(100);
const std::string kJpeg = JpegBytes(200);

INSTANTIATE_TEST_SUITE_P(
    Lint, LintMisfeatures,
    ::testing::Values(
        LintCase{"MisspelledQuitItem", Replaced(kLayout, "<quit-item>Quit</quit-item>",
                                                "<quit-itme>Quit</quit-itme>"),
                 {}, "warning: Element 'quit-itme': This element is not expected", 0, 5},
        LintCase{"EmptyToolbarMenu",
                 Replaced(kLayout, "<about-item>About</about-item><quit-item>Quit</quit-item>", ""),
                 {}, "warning: Element 'toolbar-menu': Missing child element(s)", 0, 5},
        LintCase{"LineWithoutAlign", Replaced(kLayout, " align=\"center\"", ""), {},
                 "The attribute 'align' is required but missing", 0, 5},
        LintCase{"CapitalisedAlign", Replaced(kLayout, "align=", "Align="), {},
                 "The attribute 'Align' is not allowed", 0, 5},
        LintCase{"UnknownElement", Replaced(kLayout, "<app-name>", "<window-title/><app-name>"), {},
                 "Element 'window-title': This element is not expected", 0, 5},
        LintCase{"TwoAppNames", Replaced(kLayout, "<app-name>", "<app-name>A</app-name><app-name>"),
                 {}, "Element 'app-name': This element is not expected", 0, 5},
        LintCase{"MinWidthTooLarge", Replaced(kLayout, "title=", "minWidth=\"300\" title="), {},
                 "'300' is not a valid value of the atomic type 'xs:unsignedByte'", 0, 5},
        LintCase{"VersionNotANumber", Replaced(kLayout, "\"1.0\"", "\"2.0-beta\""), {},
                 "'2.0-beta' is not a valid value of the atomic type 'xs:decimal'", 0, 5},
        LintCase{"EmptyAppName", Replaced(kLayout, "<app-name>Demo</app-name>", "<app-name/>"),
                 {}, ":1:38: warning: app-name is empty", 0, 5},
        LintCase{"EmptyTitle", Replaced(kLayout, "title=\"About\"", "title=\"\""), {},
                 "warning: the about title is empty", 0, 5},
        LintCase{"MismatchedEndTag", Replaced(kLayout, "Demo</app-name>", "Demo</app-nam>"), {},
                 "warning: Opening and ending tag mismatch: app-name line 1 and app-nam", 0, 5},
        LintCase{"BareAmpersand", Replaced(kLayout, "Demo", "De & mo"), {},
                 "warning: '&' starts no entity or character reference", 0, 5},
        LintCase{"Latin1", "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>" +
                               Replaced(kLayout, "Demo", "Caf\xE9"),
                 {}, ":1:31: warning: declared encoding iso-8859-1", 0, 5},
        LintCase{"NotUtf8", Replaced(kLayout, "Demo", "Caf\xE9"), {},
                 ":1:51: warning: text is not UTF-8: byte 0xE9", 0, 5},
        LintCase{"TruncatedPng", "", {{"icon.png", kPng.substr(0, 20)}, {"logo.jpg", kJpeg}},
                 "icon.png:1:1: error: does not decode as PNG: the data ends early", 4, 4},
        LintCase{"TruncatedJpeg", "", {{"icon.png", kPng}, {"logo.jpg", kJpeg.substr(0, 150)}},
                 "logo.jpg:1:1: error: does not decode as JPEG", 4, 4},
        LintCase{"JpegNamedPng", "", {{"icon.png", kJpeg}, {"logo.jpg", kJpeg}},
                 "icon.png:1:1: warning: the name says PNG, the content is JPEG", 0, 4},
        LintCase{"OneNameTwoContents", "",
                 {{"icon.png", kPng}, {"logo.jpg", kJpeg}, {"icon.png", PngBytes(101)}},
                 "warning: the image name icon.png is taken by", 0, 8},
        LintCase{"ImageNamedLayoutXml",
                 Replaced(kLayout, "<logo>logo.jpg</logo>", "<logo>layout.xml</logo>"),
                 {{"icon.png", kPng}, {"layout.xml", kJpeg}},
                 "warning: extract would refuse the image name \"layout.xml\"", 0, 8}),
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
      {"d['file']", dir / "layout.xml"},
      {"[(f['file'], f['line'], f['column'], f['severity'], f['message']) for f in d['findings']]",
       "[('" + dir / "layout.xml" + "', 1, 38, 'warning', 'app-name is empty')]"},
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

}  // namespace

namespace {

// refs prints what a script needs to build the image list: each name once, in order.
TEST(InspectRefs, EachNameOnceInOrder) {
  TempDir dir;
  WriteFile(dir / "l.xml", Replaced(kLayout, "</about>",
                                    "<line><logo>icon.png</logo><logo>b&amp;w.png</logo></line>"
                                    "</about>"));
  auto run = RunInspect({"refs", dir / "l.xml"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "icon.png\nlogo.jpg\nb&w.png\n");
  WriteFile(dir / "bad.xml", "<vantu-client-branding><app-icon>a.png</app-icon>");
  run = RunInspect({"refs", dir / "bad.xml"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, dir / "bad.xml:1:50: error: unexpected end of data\n");
}

// The man page's idiom: refs --null --dir feeds the packager's -i list for names with
// spaces and line ends, through a real bash.
TEST(InspectRefs, NullSeparatedNamesBuildThePackage) {
  TempDir dir;
  WriteFile(dir / "l.xml", Replaced(Replaced(kLayout, "icon.png", "my icon.png"), "logo.jpg",
                                    "two&#10;lines.jpg"));
  ASSERT_EQ(mkdir((dir / "my images").c_str(), 0755), 0);
  WriteFile(dir / "my images/my icon.png", PngBytes(100));
  WriteFile(dir / "my images/two\nlines.jpg", JpegBytes(200));
  const auto refs = RunInspect({"refs", "--null", "--dir", dir / "my images", dir / "l.xml"});
  EXPECT_EQ(refs.out, dir / "my images/my icon.png" + std::string(1, '\0') +
                          dir / "my images/two\nlines.jpg" + std::string(1, '\0'));
  const std::string script =
      "args=(); while IFS= read -r -d '' f; do args+=(-i \"$f\"); done "
      "< <(\"$0\" refs --null --dir \"$2/my images\" \"$2/l.xml\"); "
      "\"$1\" -x \"$2/l.xml\" \"${args[@]}\" -o \"$2/brand.pkg\"";
  const auto run = testing_support::RunProgram(
      "/bin/bash", "bash", {"-c", script, BP_INSPECT_PATH, BP_TOOL_PATH, dir.path()});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(RunInspect({"verify", dir / "brand.pkg"}).status, 0);
}

class InspectDiff : public ::testing::Test {
 protected:
  // Builds a package from layout and images (name, content), each in a folder of its own.
  std::string Build(const std::string& name, const std::string& layout,
                    const std::vector<std::pair<std::string, std::string>>& images) {
    const std::string folder = dir_ / name;
    EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteFile(folder + "/layout.xml", layout);
    std::vector<std::string> args{"-x", folder + "/layout.xml", "-o", folder + ".pkg"};
    for (const auto& [file, bytes] : images) {
      WriteFile(folder + "/" + file, bytes);
      args.insert(args.end(), {"-i", folder + "/" + file});
    }
    EXPECT_EQ(RunTool(args).status, 0);
    return folder + ".pkg";
  }

  TempDir dir_;
};

// Same, a changed layout, a changed image, an added and a removed image, another order.
TEST_F(InspectDiff, TellsEveryDifference) {
  const auto png = PngBytes(100);
  const auto jpeg = JpegBytes(200);
  const std::string a = Build("a", kLayout, {{"icon.png", png}, {"logo.jpg", jpeg}});
  const std::string same = Build("same", kLayout, {{"icon.png", png}, {"logo.jpg", jpeg}});
  const std::string layout = Build("layout", Replaced(kLayout, "Demo", "Demo 2"),
                                   {{"icon.png", png}, {"logo.jpg", jpeg}});
  const std::string image = Build("image", kLayout, {{"icon.png", PngBytes(101)}, {"logo.jpg", jpeg}});
  const std::string swapped =
      Build("swapped", Replaced(kLayout, "logo.jpg", "logo2.jpg"), {{"icon.png", png}, {"logo2.jpg", jpeg}});
  const std::string order = Build("order", kLayout, {{"logo.jpg", jpeg}, {"icon.png", png}});
  const std::string sha = "sha256 ";
  struct Case {
    std::string b;
    int status;
    std::string body;
  };
  const std::vector<Case> cases = {
      {same, 0, ""},
      {layout, 9,
       "layout:\n-/vantu-client-branding/app-name = \"Demo\"\n"
       "+/vantu-client-branding/app-name = \"Demo 2\"\n"},
      {image, 9, "images:\n~icon.png: PNG, 2x1 pixels, 100 bytes, "},
      {swapped, 9,
       "layout:\n-/vantu-client-branding/about/line/logo = \"logo.jpg\"\n"
       "+/vantu-client-branding/about/line/logo = \"logo2.jpg\"\n"
       "images:\n-logo.jpg: JPEG, 3x2 pixels, 200 bytes, "},
      {order, 9, "image order: icon.png, logo.jpg -> logo.jpg, icon.png\n"},
  };
  for (const Case& c : cases) {
    const auto run = RunInspect({"diff", a, c.b});
    EXPECT_EQ(run.status, c.status) << c.b;
    EXPECT_EQ(run.err, "");
    if (c.body.empty()) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_EQ(run.out.find("--- " + a + "\n+++ " + c.b + "\n" + c.body), 0u) << run.out;
    }
  }
  const auto added = RunInspect({"diff", swapped, a});
  EXPECT_NE(added.out.find("\n+logo.jpg: JPEG, 3x2 pixels, 200 bytes, " + sha), std::string::npos)
      << added.out;
  const auto missing = RunInspect({"diff", a, dir_ / "none.pkg"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, dir_ / "none.pkg: cannot open the file: No such file or directory\n");
}

}  // namespace

namespace {

// verify finds what a client or extract would trip over even where the structure is sound.
TEST(InspectVerify, ContentClientsAndExtractRelyOn) {
  TempDir dir;
  const std::string layout = LayoutRecordBytes(kLayout);
  const std::string icon = ImageRecordBytes("icon.png", 0, PngBytes(100));
  const std::string logo = ImageRecordBytes("logo.jpg", 2, JpegBytes(200));
  const std::size_t imageAt = 12 + layout.size();
  struct Case {
    const char* name;
    std::string bytes;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"TruncatedPng", PackageBytes({layout, ImageRecordBytes("icon.png", 0, PngBytes(100).substr(0, 40)), logo}),
       4, "offset " + std::to_string(imageAt + 37) + ": image data of icon.png does not decode as PNG: the data ends early"},
      {"TruncatedJpeg", PackageBytes({layout, icon, ImageRecordBytes("logo.jpg", 2, JpegBytes(200).substr(0, 150))}),
       4, "image data of logo.jpg does not decode as JPEG"},
      {"OneNameTwoContents", PackageBytes({layout, icon, logo, ImageRecordBytes("icon.png", 0, PngBytes(101))}),
       8, "image name icon.png is stored twice with different content"},
      {"NamedLayoutXml", PackageBytes({layout, icon, ImageRecordBytes("layout.xml", 2, JpegBytes(200))}),
       8, "offset " + std::to_string(imageAt + icon.size() + 28) + ": extract would refuse an image named \"layout.xml\""},
      {"Latin1Text", PackageBytes({LayoutRecordBytes(Replaced(kLayout, "Demo", "Caf\xE9")), icon, logo}),
       5, "offset " + std::to_string(28 + kLayout.find("Demo") + 3) + ": layout text is not UTF-8: byte 0xE9"},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "p.pkg", c.bytes);
    const auto run = RunInspect({"verify", dir / "p.pkg"});
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.name;
  }
  // The same image twice under one name is no fault.
  WriteFile(dir / "p.pkg", PackageBytes({layout, icon, logo, icon}));
  EXPECT_EQ(RunInspect({"verify", dir / "p.pkg"}).status, 0);
}

}  // namespace

namespace {

// A package or layout that cannot be previewed gets verify's or lint's status and report,
// and no page is left behind, not even a previous one touched.
TEST(InspectPreview, RefusedWithVerifyOrLintAndNoPage) {
  TempDir dir;
  WriteFile(dir / "layout.xml", kLayout);
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  WriteFile(dir / "bad.pkg", PackageBytes({LayoutRecordBytes(kLayout),
                                           ImageRecordBytes("icon.png", 0, PngBytes(100).substr(0, 40)),
                                           ImageRecordBytes("logo.jpg", 2, JpegBytes(200))}));
  WriteFile(dir / "old.html", "old page");
  auto run = RunInspect({"preview", dir / "bad.pkg", "-o", dir / "old.html"});
  const auto verify = RunInspect({"verify", dir / "bad.pkg"});
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, verify.err);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadFile(dir / "old.html"), "old page");

  WriteFile(dir / "typo.xml", Replaced(kLayout, " align=\"center\"", " align=\"middle\""));
  run = RunInspect({"preview", "--layout", dir / "typo.xml", dir / "icon.png", dir / "logo.jpg",
                    "-o", dir / "new.html"});
  const auto lint = RunInspect({"lint", dir / "typo.xml", dir / "icon.png", dir / "logo.jpg"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.err, lint.out);
  EXPECT_FALSE(Exists(dir / "new.html"));

  // No images: the packager's reference check refuses the layout, and so does preview.
  run = RunInspect({"preview", "--layout", dir / "layout.xml", "-o", dir / "new.html"});
  EXPECT_EQ(run.status, 6);
  EXPECT_NE(run.err.find("error: No resource found for reference: icon.png"), std::string::npos);
  EXPECT_FALSE(Exists(dir / "new.html"));

  // A sound layout makes a page, and says where.
  run = RunInspect({"preview", "--layout", dir / "layout.xml", dir / "icon.png", dir / "logo.jpg",
                    "-o", dir / "new.html"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir / "new.html\n");
  EXPECT_NE(ReadFile(dir / "new.html").find("<!DOCTYPE html>"), std::string::npos);
  EXPECT_EQ(RunInspect({"preview", dir / "bad.pkg", dir / "layout.xml", "-o", dir / "x.html"}).status,
            1);
}

}  // namespace

namespace {

// verify --json names every kind of fault as a word, with its offset or null.
TEST(InspectVerify, JsonFaultKinds) {
  TempDir dir;
  const std::string layout = LayoutRecordBytes(kLayout);
  const std::string icon = ImageRecordBytes("icon.png", 0, PngBytes(100));
  const std::string logo = ImageRecordBytes("logo.jpg", 2, JpegBytes(200));
  struct Case {
    std::string bytes;  // empty: no file at all
    std::vector<std::string> extra;
    int status;
    std::string kind;
    std::string offset;
  };
  const std::vector<Case> cases = {
      {"", {}, 2, "io", "None"},
      {PackageBytes({layout, icon}) + "x", {}, 3, "structure", "0"},
      {PackageBytes({layout, ImageRecordBytes("icon.png", 0, JpegBytes(200)), logo}), {}, 4, "image",
       std::to_string(12 + layout.size() + 37)},
      {PackageBytes({LayoutRecordBytes("<x/>"), icon, logo}), {}, 5, "layout", "29"},
      {PackageBytes({layout, icon}), {}, 6, "references", std::to_string(28 + kLayout.find("<logo>") + 1)},
      {PackageBytes({layout, icon, logo}), {"--sha256", std::string(64, 'a')}, 7, "digest", "None"},
      {PackageBytes({layout, icon, logo, ImageRecordBytes("..", 0, PngBytes(100))}), {}, 8, "refused",
       std::to_string(12 + layout.size() + icon.size() + logo.size() + 28)},
  };
  for (const Case& c : cases) {
    std::remove((dir / "p.pkg").c_str());
    if (!c.bytes.empty()) WriteFile(dir / "p.pkg", c.bytes);
    std::vector<std::string> args{"verify", "--json", dir / "p.pkg"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.kind;
    EXPECT_EQ(testing_support::JsonValue(run.out, "(d['sound'], d['fault']['kind'], d['fault']['offset'])"),
              "(False, '" + c.kind + "', " + c.offset + ")");
  }
}

// refs on a layout it cannot read, and on one that breaks a rule: the names it found still
// go out, the problem to standard error.
TEST(InspectRefs, ProblemsOnStandardError) {
  TempDir dir;
  auto run = RunInspect({"refs", dir / "none.xml"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, dir / "none.xml: cannot open the file: No such file or directory\n");
  WriteFile(dir / "l.xml", Replaced(kLayout, "<line align=\"center\">", "<line align=\"x\">"));
  run = RunInspect({"refs", dir / "l.xml"});
  EXPECT_EQ(run.status, 5);
  EXPECT_EQ(run.out, "icon.png\nlogo.jpg\n");
  EXPECT_EQ(run.err, dir / "l.xml:1:199: error: align must be either: left, center or right\n");
}

// Layout texts that do not parse are compared whole; layouts too long to align line by line
// are compared as sets of lines.
TEST(InspectDiffLarge, UnparsedAndHugeLayouts) {
  TempDir dir;
  const std::string icon = ImageRecordBytes("icon.png", 0, PngBytes(100));
  WriteFile(dir / "a.pkg", PackageBytes({LayoutRecordBytes("<x"), icon}));
  WriteFile(dir / "b.pkg", PackageBytes({LayoutRecordBytes("<y"), icon}));
  auto run = RunInspect({"diff", dir / "a.pkg", dir / "b.pkg"});
  EXPECT_EQ(run.status, 9);
  EXPECT_NE(run.out.find("-(layout text that does not parse: expected >) \"<x\"\n"
                         "+(layout text that does not parse: expected >) \"<y\"\n"),
            std::string::npos)
      << run.out;
  std::string lines;
  for (int i = 0; i < 4100; ++i) lines += "<t>" + std::to_string(i) + "</t>";
  WriteFile(dir / "a.pkg", PackageBytes({LayoutRecordBytes("<r>" + lines + "</r>"), icon}));
  WriteFile(dir / "b.pkg", PackageBytes({LayoutRecordBytes("<r>" + lines + "<t>new</t></r>"), icon}));
  run = RunInspect({"diff", dir / "a.pkg", dir / "b.pkg"});
  EXPECT_EQ(run.status, 9);
  EXPECT_NE(run.out.find("layout:\n+/r/t[4101] = \"new\"\n"), std::string::npos) << run.out.substr(0, 300);
}

}  // namespace

namespace {

// Positions past line 65535 keep their numbers, and nesting the schema library would refuse
// by default (deeper than 256) is checked, not reported in the library's own words.
TEST(InspectLint, LongAndDeepLayouts) {
  TempDir dir;
  WriteFile(dir / "long.xml", Replaced(kLayout, "<app-name>", std::string(70005, '\n') + "<app-nam/><app-name>"));
  auto run = RunInspect({"lint", dir / "long.xml"});
  EXPECT_NE(run.out.find(dir / "long.xml:70006:1: warning: Element 'app-nam'"), std::string::npos)
      << run.out.substr(0, 400);
  std::string open;
  std::string close;
  for (int i = 0; i < 300; ++i) {
    open += "<b>";
    close += "</b>";
  }
  WriteFile(dir / "deep.xml", Replaced(kLayout, "<logo>logo.jpg</logo>",
                                       "<logo>logo.jpg</logo><text>" + open + close + "</text>"));
  run = RunInspect({"lint", dir / "deep.xml"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("XML_PARSE_HUGE"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Internal error"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("warning: Element 'text'"), std::string::npos) << run.out;
}

}  // namespace
