// The companion's verify: a sound package, and each fault with its offset and status.

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
      {Corrupted(text + 1, "X"),
       {},
       5,
       "offset " + std::to_string(text + 1) +
           ": layout text: Top node must be vantu-client-branding"},
      {Corrupted(text + kLayout.find("logo.jpg"), "lolo"),
       {},
       6,
       "offset " + std::to_string(text + kLayout.find("<logo>") + 1) +
           ": No resource found for reference: lolo.jpg (and 1 more)"},
      {package_, {"--sha256", std::string(64, '0')}, 7, "SHA-256 is " + hash_},
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
    EXPECT_EQ(run.err.rfind(c.package + ": " + c.err, 0), 0u) << run.err;
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
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"TruncatedPng",
       PackageBytes({layout, ImageRecordBytes("icon.png", 0, PngBytes(100).substr(0, 40)), logo}),
       4,
       "offset " + std::to_string(imageAt + 37) +
           ": image data of icon.png does not decode as PNG: the data ends early"},
      {"TruncatedJpeg",
       PackageBytes({layout, icon, ImageRecordBytes("logo.jpg", 2, JpegBytes(200).substr(0, 150))}),
       4, "image data of logo.jpg does not decode as JPEG"},
      {"OneNameTwoContents",
       PackageBytes({layout, icon, logo, ImageRecordBytes("icon.png", 0, PngBytes(101))}), 8,
       "image name icon.png is stored twice with different content"},
      {"NamedLayoutXml",
       PackageBytes({layout, icon, ImageRecordBytes("layout.xml", 2, JpegBytes(200))}), 8,
       "offset " + std::to_string(imageAt + icon.size() + 28) +
           ": extract would refuse an image named \"layout.xml\""},
      {"Latin1Text",
       PackageBytes({LayoutRecordBytes(Replaced(kLayout, "Demo", "Caf\xE9")), icon, logo}), 5,
       "offset " + std::to_string(28 + kLayout.find("Demo") + 3) +
           ": layout text is not UTF-8: byte 0xE9"},
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
      {PackageBytes({LayoutRecordBytes("<x/>"), icon, logo}), {}, 5, "layout", "29"},
      {PackageBytes({layout, icon}),
       {},
       6,
       "references",
       std::to_string(28 + kLayout.find("<logo>") + 1)},
      {PackageBytes({layout, icon, logo}), {"--sha256", std::string(64, 'a')}, 7, "digest", "None"},
      {PackageBytes({layout, icon, logo, ImageRecordBytes("..", 0, PngBytes(100))}),
       {},
       8,
       "refused",
       std::to_string(12 + layout.size() + icon.size() + logo.size() + 28)},
  };
  for (const Case& c : cases) {
    std::remove((dir / "p.pkg").c_str());
    if (!c.bytes.empty()) WriteFile(dir / "p.pkg", c.bytes);
    std::vector<std::string> args{"verify", "--json", dir / "p.pkg"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, c.status) << c.kind;
    EXPECT_EQ(testing_support::JsonValue(run.out,
                                         "(d['sound'], d['fault']['kind'], d['fault']['offset'])"),
              "(False, '" + c.kind + "', " + c.offset + ")");
  }
}

}  // namespace
