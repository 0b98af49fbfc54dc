// The companion's command line: usage, version and what it refuses.

#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
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
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(RunInspect({"--version"}).out, "branding-package-inspect 24.07\n");

  run = RunInspect({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("Usage: ", 0), 0u);
  run = RunInspect({"frob"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Error: unknown command frob\n\nUsage: ", 0), 0u);
  run = RunInspect({"lnt", "layout.xml"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("Error: unknown command lnt (did you mean lint?)\n\nUsage: ", 0), 0u);
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

namespace {

using testing_support::JpegBytes;
using testing_support::PngBytes;
using testing_support::TempDir;
using testing_support::WriteFile;

// Every --json command prints one object with the same top-level fields, for an input that
// is missing, corrupt, too large for memory, or sound.
TEST(InspectCli, EveryJsonRunHasTheSameFields) {
  TempDir dir;
  WriteFile(dir / "layout.xml", testing_support::kSampleLayout);
  WriteFile(dir / "icon.png", PngBytes(100));
  WriteFile(dir / "logo.jpg", JpegBytes(200));
  ASSERT_EQ(testing_support::RunTool({"-x", dir / "layout.xml", "-i", dir / "icon.png", "-i",
                                      dir / "logo.jpg", "-o", dir / "p.pkg"})
                .status,
            0);
  WriteFile(dir / "corrupt.pkg", testing_support::ReadFile(dir / "p.pkg").substr(0, 100));
  WriteFile(dir / "corrupt.xml", "<vantu-client-branding>");
  // Larger than the memory the run gets: a sparse package whose layout text fills 3.75 GiB,
  // and a sparse layout of 1 GiB.
  const std::uint32_t text = 0xF0000000u;
  WriteFile(dir / "huge.pkg", testing_support::U32(text + 37) + testing_support::U32(0) +
                                  testing_support::U32(1) + testing_support::U32(text + 17) +
                                  testing_support::U32(1) + testing_support::U32(0) +
                                  testing_support::U32(text + 1));
  ASSERT_EQ(truncate((dir / "huge.pkg").c_str(), std::int64_t{text} + 37), 0);
  WriteFile(dir / "huge.xml", "");
  ASSERT_EQ(truncate((dir / "huge.xml").c_str(), std::int64_t{1} << 30), 0);
  const std::vector<std::pair<std::string, std::vector<std::string>>> inputs = {
      {"missing", {"missing.pkg", "missing.xml"}},
      {"corrupt", {"corrupt.pkg", "corrupt.xml"}},
      {"out of memory", {"huge.pkg", "huge.xml"}},
      {"sound", {"p.pkg", "layout.xml"}},
  };
  const std::string fields =
      "sorted(k for k in d if k in ('tool','version','command','input','status','findings',"
      "'fault'))";
  for (const auto& [what, files] : inputs) {
#ifdef __SANITIZE_ADDRESS__
    if (what == "out of memory") continue;  // the address sanitizer cannot run under a limit
#endif
    const testing_support::RunOptions limit =
        testing_support::Options(what == "out of memory" ? 512ULL << 20 : 0);
    for (const char* command : {"list", "verify", "lint"}) {
      std::vector<std::string> args{command, "--json",
                                    dir / files[command == std::string("lint") ? 1 : 0]};
      if (command == std::string("lint")) {
        args.push_back(dir / "icon.png");
        args.push_back(dir / "logo.jpg");
      }
      const auto run = RunInspect(args, limit);
      EXPECT_EQ(testing_support::JsonValue(run.out, fields),
                "['command', 'fault', 'findings', 'input', 'status', 'tool', 'version']")
          << what << " " << command;
      EXPECT_EQ(testing_support::JsonValue(run.out, "(d['command'], d['status'])"),
                "('" + std::string(command) + "', " + std::to_string(run.status) + ")")
          << what;
    }
  }
}

}  // namespace
