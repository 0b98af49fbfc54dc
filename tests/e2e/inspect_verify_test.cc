// The companion's verify: a sound package, and each fault with its offset and status.

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::Entries;
using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::Replaced;
using testing_support::RunInspect;
using testing_support::TempDir;
using testing_support::U32;
using testing_support::WriteFile;
using Inspect = testing_support::InspectFixture;

const std::string kLayout = testing_support::kSampleLayout;

// What the packager wrote verifies, lists and extracts back to its inputs.
TEST_F(Inspect, ExtractGivesBackExactlyWhatWasBuilt) {
  auto run = RunInspect({"verify", "--sha256", hash_, package_});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, package_ + ": sound package of " + std::to_string(PackageSize()) +
                         " bytes, 2 images\n  SHA-256: " + hash_ +
                         "\n  icon.png: PNG, 2x1 pixels, 700 bytes\n"
                         "  logo.jpg: JPEG, 3x2 pixels, 900 bytes\n");
  run = RunInspect({"verify", "--json", package_});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"(d['tool'], d['command'], d['input'], d['status'])",
       "('branding-package-inspect', 'verify', '" + package_ + "', 0)"},
      {"d['sound']", "True"},
      {"d['findings']", "[]"},
      {"d['size']", std::to_string(PackageSize())},
      {"d['sha256']", hash_},
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
  EXPECT_NE(run.out.find("\"input\":\"" + package_ + "\",\"status\":0,\"records\":[" + layoutJson),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"name\":\"logo.jpg\",\"format\":\"jpeg\""), std::string::npos);

  run = RunInspect({"extract", package_, dir_ / "x"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Entries(dir_ / "x"), (std::vector<std::string>{"icon.png", "layout.xml", "logo.jpg"}));
  EXPECT_EQ(ReadFile(dir_ / "x/layout.xml"), kLayout);
  EXPECT_TRUE(ReadFile(dir_ / "x/icon.png") == png_);
  EXPECT_TRUE(ReadFile(dir_ / "x/logo.jpg") == jpeg_);
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
      {Corrupted(iconAt + 8, U32(2)),
       {},
       4,
       "offset " + std::to_string(iconAt + 37) +
           ": image data of icon.png is PNG, the record says JPEG"},
      // Layout findings are lint's, at the start tag lint names, with its line and column.
      {Corrupted(text + 1, "X"),
       {},
       5,
       "offset " + std::to_string(text) +
           " (layout text 1:1, Xantu-client-branding): error: Top node must be "
           "vantu-client-branding [layout-rule]"},
      {Corrupted(text + kLayout.find("logo.jpg"), "lolo"),
       {},
       6,
       "offset " + std::to_string(text + kLayout.find("<logo>")) +
           " (layout text 1:" + std::to_string(kLayout.find("<logo>") + 1) +
           ", about/line/logo): error: No resource found for reference: lolo.jpg [missing-image]"},
      {package_, {"--sha256", std::string(64, '0')}, 7, "error: SHA-256 is " + hash_},
      // A file that is no package at all is named so, not measured as a damaged one.
      {dir_ / "layout.xml",
       {},
       3,
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
    EXPECT_NE(run.err.find(c.package + ": " + c.err), std::string::npos) << run.err;
  }
}

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
    int status;  // and with --strict
    int strictStatus;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"TruncatedPng",
       PackageBytes({layout, ImageRecordBytes("icon.png", 0, PngBytes(100).substr(0, 40)), logo}),
       4, 4,
       "offset " + std::to_string(imageAt) +
           ": error: image data of icon.png does not decode as PNG: the data ends early "
           "[image-decode]"},
      {"TruncatedJpeg",
       PackageBytes({layout, icon, ImageRecordBytes("logo.jpg", 2, JpegBytes(200).substr(0, 150))}),
       4, 4, "image data of logo.jpg does not decode as JPEG"},
      // What lint warns of, verify warns of: it fails only with --strict.
      {"OneNameTwoContents",
       PackageBytes({layout, icon, logo, ImageRecordBytes("icon.png", 0, PngBytes(101))}), 0, 8,
       "warning: the image name icon.png is taken by the record at offset " +
           std::to_string(imageAt) + " with other content [image-name-shared]"},
      {"NamedLayoutXml",
       PackageBytes({LayoutRecordBytes(Replaced(kLayout, "logo.jpg", "layout.xml")), icon,
                     ImageRecordBytes("layout.xml", 2, JpegBytes(200))}),
       8, 8, ": error: extract would refuse the image name \"layout.xml\" [image-name-refused]"},
      {"Latin1Text",
       PackageBytes({LayoutRecordBytes(Replaced(kLayout, "Demo", "Caf\xE9")), icon, logo}), 0, 5,
       "offset " + std::to_string(28 + kLayout.find("Demo") + 3) +
           " (layout text 1:" + std::to_string(kLayout.find("Demo") + 4) +
           ", app-name): warning: text is not UTF-8: byte 0xE9 [not-utf8]"},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "p.pkg", c.bytes);
    auto run = RunInspect({"verify", dir / "p.pkg"});
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.out.empty(), c.status != 0) << c.name;
    run = RunInspect({"verify", "--strict", dir / "p.pkg"});
    EXPECT_EQ(run.status, c.strictStatus) << c.name;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.name << ": " << run.err;
  }
  // The same image twice under one name is no fault.
  WriteFile(dir / "p.pkg", PackageBytes({layout, icon, logo, icon}));
  EXPECT_EQ(RunInspect({"verify", dir / "p.pkg"}).status, 0);
}

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
      {PackageBytes({layout, ImageRecordBytes("icon.png", 0, JpegBytes(200)), logo}),
       {},
       4,
       "image",
       std::to_string(12 + layout.size() + 37)},
      // Findings, where the structure is sound: the first that counts, by its id.
      {PackageBytes({LayoutRecordBytes("<x/>"), icon, logo}), {}, 5, "layout-rule", "28"},
      {PackageBytes({layout, icon}),
       {},
       6,
       "missing-image",
       std::to_string(28 + kLayout.find("<logo>"))},
      {PackageBytes({layout, icon, logo}), {"--sha256", std::string(64, 'a')}, 7, "digest", "None"},
      {PackageBytes({layout, icon, logo, ImageRecordBytes("..", 0, PngBytes(100))}),
       {},
       6,
       "unreferenced-image",
       "28"},
  };
  for (const Case& c : cases) {
    std::remove((dir / "p.pkg").c_str());
    if (!c.bytes.empty()) WriteFile(dir / "p.pkg", c.bytes);
    std::vector<std::string> args{"verify", "--json", dir / "p.pkg"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.kind;
    const std::string kind =
        c.kind.find('-') == std::string::npos && c.kind != "digest"
            ? "(d['fault']['kind'], d['fault']['offset'])"
            : "[(f['id'], f['offset']) for f in d['findings'] if f['severity'] == 'error'][0]";
    EXPECT_EQ(testing_support::JsonValue(
                  run.out, "(d['status'], d['sound'] if 'sound' in d else False, " + kind + ")"),
              "(" + std::to_string(c.status) + ", False, ('" + c.kind + "', " + c.offset + "))");
  }
}

// verify --layout: whether the package is the one a layout and its images build, the first
// record that differs named (status 7), found as build finds them (--dir, --config); a layout
// that cannot build gets lint's report.
TEST_F(Inspect, IsThePackageALayoutBuilds) {
  const std::string l = dir_ / "layout.xml";
  const std::size_t iconAt = 12 + kLayout.size() + 17;
  const std::size_t logoAt = iconAt + 737;
  ASSERT_EQ(mkdir((dir_ / "other").c_str(), 0755), 0);
  WriteFile(dir_ / "other/logo.jpg", JpegBytes(901));
  WriteFile(dir_ / "other/icon.png", png_);
  WriteFile(dir_ / "changed.xml", Replaced(kLayout, "Demo", "Demo 2"));
  WriteFile(dir_ / "team.policy", "dir = other\n");
  WriteFile(dir_ / "bad.xml", Replaced(kLayout, "<app-name>Demo</app-name>", ""));
  std::string longer = ReadFile(package_) + "x";
  WriteFile(dir_ / "longer.pkg", longer);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string part;  // of standard output when 0, else of standard error
  };
  const std::string differs = package_ + ": not the package ";
  const Case cases[] = {
      {"the same",
       {"--layout", l},
       0,
       package_ + ": the package " + l + " builds, byte for byte\n  SHA-256: " + hash_ + "\n"},
      {"another text",
       {"--layout", dir_ / "changed.xml"},
       7,
       differs + dir_ / "changed.xml builds: the layout record at offset 12 differs"},
      {"another logo in the folder given",
       {"--layout", l, "--dir", dir_ / "other"},
       7,
       "the record of image logo.jpg at offset " + std::to_string(logoAt) + " differs"},
      {"a policy named",
       {"--layout", l, "--config", dir_ / "team.policy"},
       7,
       "the record of image logo.jpg"},
      {"a layout that cannot build",
       {"--layout", dir_ / "bad.xml"},
       5,
       "Must contain node: app-name [layout-rule]"},
      {"--sha256 beside it",
       {"--layout", l, "--sha256", hash_},
       1,
       "Error: --layout and --sha256 ask for two checks"},
      {"--dir alone", {"--dir", dir_.path()}, 1, "Error: --dir is for --layout"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"verify", package_};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.name << run.out << run.err;
    EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.part), std::string::npos)
        << c.name << "\n"
        << run.out << run.err;
  }
  auto run = RunInspect({"verify", dir_ / "longer.pkg", "--layout", l});
  EXPECT_EQ(run.status, 7);
  EXPECT_NE(run.err.find("what follows offset " + std::to_string(PackageSize()) + " differs"),
            std::string::npos)
      << run.err;
  run = RunInspect({"verify", package_, "--layout", dir_ / "changed.xml", "--json"});
  EXPECT_EQ(run.status, 7);
  EXPECT_EQ(
      testing_support::JsonValue(run.out,
                                 "(d['matches'], d['sha256'], d['firstDifference'], d['status'])"),
      "(False, '" + hash_ + "', {'offset': 12, 'record': 'the layout record at offset 12'}, 7)");
  run = RunInspect({"list", "--json", package_});
  EXPECT_EQ(testing_support::JsonValue(run.out, "d['sha256']"), hash_);
}

}  // namespace
