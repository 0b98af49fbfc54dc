#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/bp_exception.h"
#include "package/file_writer.h"

namespace {

struct ReferenceCase {
  const char* name;
  std::vector<std::string> references;
  std::vector<std::string> resources;
  std::string message;  // empty: the names match
};

void PrintTo(const ReferenceCase& c, std::ostream* os) { *os << c.name; }

class CheckReferences : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(CheckReferences, ReportsEveryDifference) {
  const ReferenceCase& c = GetParam();
  cBP_FILE_WRITER writer("unused.bin");
  writer.references = c.references;
  writer.resources = c.resources;
  std::string message;
  try {
    writer.CheckReferences();
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -505);
    message = e.what();
  }
  EXPECT_EQ(message, c.message);
  EXPECT_EQ(writer.references, c.references);
  EXPECT_EQ(writer.resources, c.resources);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CheckReferences,
    ::testing::Values(ReferenceCase{"Match", {"icon.png"}, {"icon.png"}, ""},
                      ReferenceCase{"CaseDiffers",
                                    {"icon.png"},
                                    {"Icon.png"},
                                    "No resource found for reference: icon.png\n"
                                    "No reference found for resource: Icon.png\n"},
                      ReferenceCase{"DirectoryInReference",
                                    {"pics/icon.png"},
                                    {"icon.png"},
                                    "No resource found for reference: pics/icon.png\n"
                                    "No reference found for resource: icon.png\n"},
                      ReferenceCase{"WhitespaceKept",
                                    {" icon.png\n"},
                                    {"icon.png"},
                                    "No resource found for reference:  icon.png\\n\n"
                                    "No reference found for resource: icon.png\n"},
                      ReferenceCase{"IconAndLogoSameImage", {"a.png", "a.png"}, {"a.png"}, ""},
                      ReferenceCase{"ImageGivenTwice", {"a.png"}, {"a.png", "a.png"}, ""},
                      ReferenceCase{"NoImages",
                                    {"a.png", "b.png", "a.png"},
                                    {},
                                    "No resource found for reference: a.png\n"
                                    "No resource found for reference: b.png\n"},
                      ReferenceCase{"BothKindsInOrderEachOnce",
                                    {"x.png", "a.png", "y.png", "x.png"},
                                    {"q.png", "a.png", "p.png", "q.png"},
                                    "No resource found for reference: x.png\n"
                                    "No resource found for reference: y.png\n"
                                    "No reference found for resource: q.png\n"
                                    "No reference found for resource: p.png\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
