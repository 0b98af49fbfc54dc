// The companion's list: the table and the JSON, also of a package cut short.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::RunInspect;
using testing_support::TempDir;
using testing_support::WriteFile;
using Inspect = testing_support::InspectFixture;

const std::string kLayout = testing_support::kSampleLayout;

TEST_F(Inspect, ListShowsEachRecordAtItsOffset) {
  const auto run = RunInspect({"list", package_});
  const std::size_t layoutSize = kLayout.size() + 17;
  const std::size_t iconAt = 12 + layoutSize;
  const std::size_t logoAt = iconAt + 29 + 8 + 700;
  const std::size_t endAt = logoAt + 29 + 8 + 900;
  EXPECT_EQ(run.out, "offset\tsize\trecord\n0\t12\theader, package size " +
                         std::to_string(endAt + 8) + "\n12\t" + std::to_string(layoutSize) +
                         "\tlayout, text of " + std::to_string(kLayout.size()) + " bytes\n" +
                         std::to_string(iconAt) +
                         "\t737\timage icon.png, PNG, 2x1 pixels, 700 bytes of data at " +
                         std::to_string(iconAt + 37) + "\n" + std::to_string(logoAt) +
                         "\t937\timage logo.jpg, JPEG, 3x2 pixels, 900 bytes of data at " +
                         std::to_string(logoAt + 37) + "\n" + std::to_string(endAt) +
                         "\t8\tend\nSHA-256: " + hash_ + "\n");
}

TEST(InspectCli, JsonListOfACorruptPackageNamesTheFault) {
  TempDir dir;
  const std::string bytes = PackageBytes({LayoutRecordBytes("<x/>")});
  WriteFile(dir / "p.pkg", bytes.substr(0, bytes.size() - 1));
  const auto run = RunInspect({"list", "--json", dir / "p.pkg"});
  EXPECT_EQ(run.status, 3);
  // The records that are there are listed before the fault: here the layout record.
  EXPECT_EQ(run.out,
            "{\"tool\":\"branding-package-inspect\",\"version\":\"24.07\","
            "\"command\":\"list\",\"input\":\"" +
                dir / "p.pkg" +
                "\",\"status\":3,\"records\":[{\"offset\":12,\"size\":21,\"type\":\"layout\","
                "\"textSize\":4}],\"findings\":[],\"fault\":{\"kind\":\"structure\",\"offset\":0,"
                "\"message\":\"package size field says 41 bytes, the file has 40\"}}\n");
  const auto table = RunInspect({"list", dir / "p.pkg"});
  // The header's own field, not the file's length.
  EXPECT_EQ(table.out,
            "offset\tsize\trecord\n0\t12\theader, package size 41\n"
            "12\t21\tlayout, text of 4 bytes\n");
}

}  // namespace
