#include "app/command_line_options.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Parsed {
  int result;
  std::string out;
  std::string err;
};

// Parses args (program name first) on a fresh options object the way the driver does.
Parsed Parse(std::vector<std::string> args, CommandLineOptions& options) {
  options.cmd.setExceptionHandling(false);
  options.cmd.ignoreUnmatched(false);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int result = options.parseArguments(args);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  return {result, out, err};
}

Parsed Parse(std::vector<std::string> args) {
  CommandLineOptions options;
  return Parse(std::move(args), options);
}

const char kBriefUsage[] =
    "Brief USAGE: \n"
    "   bp  [-d] [-o <path>] [-i <image>] ... [-x <path>] [--] [--version] [-h]\n"
    "\n"
    "For complete USAGE and HELP type: \n"
    "   bp --help\n"
    "\n";

std::string RuleReport(const std::string& id, const std::string& text) {
  return "PARSE ERROR: Argument: " + id + "\n             " + text + "\n\n" + kBriefUsage;
}

struct RuleCase {
  const char* name;
  std::vector<std::string> args;
  std::string id;
  std::string text;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class ViolatedRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ViolatedRules, ReportedOnErrorStreamWithResultOne) {
  const RuleCase& c = GetParam();
  std::vector<std::string> args{"bp"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const Parsed parsed = Parse(args);
  EXPECT_EQ(parsed.result, 1);
  EXPECT_EQ(parsed.out, "");
  EXPECT_EQ(parsed.err, RuleReport(c.id, c.text));
}

const char kAtLeastOne[] = "At least one of -x (--xml-layout), -d (--dump-xml-schema) is required";
const char kExclusive[] =
    "Options -x (--xml-layout), -d (--dump-xml-schema) are mutually exclusive";

INSTANTIATE_TEST_SUITE_P(
    Rules, ViolatedRules,
    ::testing::Values(
        RuleCase{"NoArguments", {}, "xml-layout, dump-xml-schema", kAtLeastOne},
        RuleCase{"ImageAlone", {"-i", "a.png"}, "xml-layout, dump-xml-schema", kAtLeastOne},
        RuleCase{"OutputAlone", {"-o", "out.bin"}, "xml-layout, dump-xml-schema", kAtLeastOne},
        RuleCase{
            "LayoutAndSchema", {"-x", "l.xml", "-d"}, "xml-layout, dump-xml-schema", kExclusive},
        RuleCase{"ExclusionBeforeRequired",
                 {"-x", "l.xml", "-d", "-o", "o"},
                 "xml-layout, dump-xml-schema",
                 kExclusive},
        RuleCase{"LayoutWithoutOutput",
                 {"-x", "l.xml", "-i", "a.png"},
                 "output",
                 "Missing required arguments: -o (--output)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TokenCase {
  const char* name;
  std::vector<std::string> args;
  std::string err;
};

void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.name; }

class RejectedTokens : public ::testing::TestWithParam<TokenCase> {};

TEST_P(RejectedTokens, OneErrorLineAndResultOne) {
  const Parsed parsed = Parse(GetParam().args);
  EXPECT_EQ(parsed.result, 1);
  EXPECT_EQ(parsed.out, "");
  EXPECT_EQ(parsed.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, RejectedTokens,
    ::testing::Values(
        TokenCase{"UnknownOption",
                  {"bp", "--foo"},
                  "Error: Couldn't find match for argument for arg Argument: --foo\n"},
        TokenCase{"StrayWord",
                  {"bp", "-d", "word"},
                  "Error: Couldn't find match for argument for arg Argument: word\n"},
        TokenCase{"LayoutTwice",
                  {"bp", "-x", "a", "-x", "b", "-o", "o"},
                  "Error: Argument already set! for arg Argument: -x (--xml-layout)\n"},
        TokenCase{"MissingValue",
                  {"bp", "-o"},
                  "Error: Missing a value for this argument! for arg Argument: -o (--output)\n"},
        TokenCase{"BogusBeforeHelp",
                  {"bp", "--bogus", "-h"},
                  "Error: Couldn't find match for argument for arg Argument: --bogus\n"},
        TokenCase{"EmptyArgumentList",
                  {},
                  "Error: The args vector must not be empty, the first entry should contain "
                  "the program's name. for arg  \n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineOptions, HelpStopsParsingBeforeLaterTokens) {
  const Parsed parsed = Parse({"bp", "-h", "--bogus"});
  EXPECT_EQ(parsed.result, 2);
  EXPECT_NE(parsed.out.find("USAGE:"), std::string::npos);
  EXPECT_EQ(parsed.err, "");
}

TEST(CommandLineOptions, VersionWinsOverLaterHelp) {
  const Parsed parsed = Parse({"bp", "--version", "-h"});
  EXPECT_EQ(parsed.result, 2);
  EXPECT_EQ(parsed.out, "\nbp  version: 24.07\n\n");
}

TEST(CommandLineOptions, AcceptedCombinations) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"bp", "-d"},
                                             {"bp", "-d", "-o", "schema.xsd"},
                                             {"bp", "-d", "-i", "a.png"},
                                             {"bp", "-x", "l.xml", "-o", "out.bin"}}) {
    const Parsed parsed = Parse(args);
    EXPECT_EQ(parsed.result, 0) << args.size();
    EXPECT_EQ(parsed.out + parsed.err, "");
  }
}

TEST(CommandLineOptions, ImagesKeepCommandLineOrderAndAnyValue) {
  CommandLineOptions options;
  const Parsed parsed = Parse(
      {"bp", "-x", "l", "-o", "o", "-i", "b.png", "--image", "missing", "-i", "a.jpg"}, options);
  ASSERT_EQ(parsed.result, 0);
  EXPECT_EQ(options.imageArg.getValue(), (std::vector<std::string>{"b.png", "missing", "a.jpg"}));
  EXPECT_EQ(options.xmlLayoutArg.getValue(), "l");
  EXPECT_EQ(options.outputArg.getValue(), "o");
}

TEST(CommandLineOptions, ParseSkipsNullEntries) {
  CommandLineOptions options;
  options.cmd.setExceptionHandling(false);
  char program[] = "bp";
  char flag[] = "-d";
  char* argv[] = {program, nullptr, flag};
  EXPECT_EQ(options.parse(3, argv), 0);
  EXPECT_TRUE(options.dumpXmlSchemaArg.isSet());
}

TEST(CommandLineOptions, ZeroArgumentsAreRejectedByTheParser) {
  CommandLineOptions options;
  options.cmd.setExceptionHandling(false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(options.parse(0, nullptr), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr().substr(0, 42),
            "Error: The args vector must not be empty, ");
}

TEST(CommandLineOptions, FindArgumentKnowsTheLibrarySwitches) {
  CommandLineOptions options;
  EXPECT_EQ(options.findArgument("help")->getFlag(), "h");
  EXPECT_EQ(options.findArgument("version")->getName(), "version");
  EXPECT_EQ(options.findArgument("xml-layout"), &options.xmlLayoutArg);
  EXPECT_THROW(options.findArgument("hel"), std::runtime_error);
}

}  // namespace
