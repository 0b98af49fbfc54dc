#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "layout/layout_schema.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::RunTool;
using testing_support::StatusOf;
using testing_support::TempDir;
using vantu::branding_package::XmlLayoutSchema;

const char kUsage[] = R"(
USAGE: 

   branding-package  [-d] [-o <path>] [-i <image>] ... [-x <path>] [--]
                     [--version] [-h]


Where: 

   -d,  --dump-xml-schema
     Dumps the xml schema describing the customization options and required
     fields

   -o <path>,  --output <path>
     The output filename to write to

   -i <image>,  --image <image>  (accepted multiple times)
     An image file, the file must exist on the filesystem

   -x <path>,  --xml-layout <path>
     The layout file used to describe the customizations to be made. Note:
     this file must adhere to the xml schema

   --,  --ignore_rest
     Ignores the rest of the labeled arguments following this flag.

   --version
     Displays version information and exits.

   -h,  --help
     Displays usage information and exits.


   Creates a branding package to customize Corvane Desktop Client

)";

TEST(Cli, HelpPrintsUsageAndExitsZero) {
  for (const char* flag : {"--help", "-h"}) {
    const auto run = RunTool({flag});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kUsage);
    EXPECT_EQ(run.err, "");
  }
}

TEST(Cli, Version) {
  const auto run = RunTool({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\nbranding-package  version: 24.07\n\n");
  EXPECT_EQ(run.err, "");
}

TEST(Cli, NoArgumentsReportsTheMissingChoice) {
  const auto run = RunTool({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "PARSE ERROR: Argument: xml-layout, dump-xml-schema\n"
            "             At least one of -x (--xml-layout), -d (--dump-xml-schema) is required\n"
            "\n"
            "Brief USAGE: \n"
            "   branding-package  [-d] [-o <path>] [-i <image>] ... [-x <path>] [--]\n"
            "                     [--version] [-h]\n"
            "\n"
            "For complete USAGE and HELP type: \n"
            "   branding-package --help\n"
            "\n");
}

TEST(Cli, UnknownOptionIsOneLineOnTheErrorStream) {
  const auto run = RunTool({"-x", "l.xml", "-o", "o", "--foo"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error: Couldn't find match for argument for arg Argument: --foo\n");
}

TEST(Cli, SchemaOnStandardOutputIgnoresImages) {
  const std::string expected = std::string(XmlLayoutSchema) + "\n";
  for (const auto& args :
       {std::vector<std::string>{"-d"}, std::vector<std::string>{"-d", "-i", "a.png"}}) {
    const auto run = RunTool(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.size(), 2727u);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(Cli, SchemaToFile) {
  TempDir dir;
  const std::string path = dir / "schema.xsd";
  const auto run = RunTool({"-d", "-o", path});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Writing schema to: " + path + "\n");
  EXPECT_EQ(ReadFile(path), std::string(XmlLayoutSchema) + "\n");
}

// A report lost to a full disk is status 70 whatever the verdict was: a success, a failed
// build, a lint or verify with findings, packages that differ.
TEST(Cli, LostStandardOutputIsNoSuccess) {
  TempDir dir;
  testing_support::WriteFile(dir / "warned.xml",
                             "<vantu-client-branding version=\"1.0\"><app-name></app-name>");
  testing_support::WriteFile(dir / "other.pkg", "not a package");
  for (const char* name : {"a", "b"}) {
    testing_support::WriteFile(dir / (name + std::string(".pkg")),
                               testing_support::PackageBytes({testing_support::LayoutRecordBytes(
                                   std::string("<") + name + "/>")}));
  }
  const std::pair<const char*, std::string> runs[] = {
      {BP_TOOL_PATH, "-d"},
      {BP_TOOL_PATH, "--version"},
      {BP_TOOL_PATH, "-x '" + (dir / "missing.xml") + "' -o '" + (dir / "out.pkg") + "'"},
      {BP_INSPECT_PATH, "lint --strict '" + (dir / "warned.xml") + "'"},
      {BP_INSPECT_PATH, "verify --json '" + (dir / "other.pkg") + "'"},
      {BP_INSPECT_PATH, "diff '" + (dir / "a.pkg") + "' '" + (dir / "b.pkg") + "'"},
  };
  for (const auto& [tool, args] : runs) {
    const std::string command =
        std::string("'") + tool + "' " + args + " >/dev/full 2>'" + (dir / "err") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << args;
    EXPECT_EQ(WEXITSTATUS(status), 70) << args;
    const std::string err = ReadFile(dir / "err");
    EXPECT_EQ(err.substr(err.size() - std::min<std::size_t>(err.size(), 45)),
              "Fatal error: unable to write standard output\n")
        << args;
  }
}

struct SchemaFailure {
  const char* name;
  std::string path;  // "@" stands for the scratch directory
  const char* message;
};

void PrintTo(const SchemaFailure& c, std::ostream* os) { *os << c.name; }

class SchemaFileFailures : public ::testing::TestWithParam<SchemaFailure> {};

TEST_P(SchemaFileFailures, ReportedAfterTheWritingLine) {
  TempDir dir;
  std::string path = GetParam().path;
  if (path == "@") path = dir.path();
  if (path.rfind("@/", 0) == 0) path = dir.path() + path.substr(1);
  const auto run = RunTool({"-d", "-o", path});
  EXPECT_EQ(run.status, StatusOf(-504));
  EXPECT_EQ(run.out,
            "Writing schema to: " + path + "\nError: -504\n\t" + GetParam().message + path + "\n");
  EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SchemaFileFailures,
    ::testing::Values(SchemaFailure{"Directory", "@", "Unable to open Output file: "},
                      SchemaFailure{"MissingDirectory", "@/no/schema.xsd",
                                    "Unable to open Output file: "},
                      SchemaFailure{"DeviceFull", "/dev/full", "Unable to write Output file: "}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
