// The companion's command line: usage, version and what it refuses.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/inspect_support.h"
#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::RunInspect;

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

}  // namespace
