#include "inspect/inspect_cli.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iomanip>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tclap/CmdLine.h>

#include "base/guarded_run.h"
#include "base/nearest.h"
#include "base/shown.h"
#include "base/signal_cleanup.h"
#include "base/stray_switches.h"
#include "base/version.h"
#include "inspect/commands/ci_formats.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/json.h"
#include "inspect/lsp/language_server.h"
#include "inspect/model/findings.h"
#include "inspect/model/lint_config.h"
#include "inspect/model/tool_table.h"
#include "inspect/serve/serve_preview.h"

namespace vantu::branding_package {

namespace {

constexpr char kProgram[] = "branding-package-inspect";

constexpr char kUsageHead[] =
    "Usage: branding-package-inspect COMMAND [ARGUMENTS]\n"
    "\n"
    "Reads, checks and unpacks branding packages, and checks layout documents.\n"
    "\n"
    "Commands:\n";

constexpr char kUsageTail[] =
    "\n"
    "Run 'branding-package-inspect COMMAND --help' for the options of a command.\n"
    "\n"
    "Exit status:\n";

// A subcommand's parser; TCLAP prints its help, version and errors.
class Command {
 public:
  // switchLetters: the one-letter switches that may be combined behind one dash.
  Command(const std::string& name, const std::string& description,
          std::string_view switchLetters = "", std::vector<std::string_view> valueFlags = {})
      : cmd(description, ' ', kVersion),
        name_(std::string(kProgram) + " " + name),
        switchLetters_(switchLetters),
        valueFlags_(std::move(valueFlags)) {
    cmd.setExceptionHandling(false);
  }

  // Parses args (behind the subcommand); false with status set when the run ends here.
  bool Parse(const std::vector<std::string>& args, int& status) {
    std::vector<std::string> all{name_};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<std::string> longNames;
    for (TCLAP::Arg* arg : cmd.getArgList()) longNames.push_back(arg->getName());
    try {
      // "-sha256" would otherwise read as combined switches, "h" among them: help; and
      // "--josn" as an image file.
      if (auto stray = FindStraySwitches(all, switchLetters_, valueFlags_, &longNames)) {
        // The parser learns the program's name, which its report shows, only by parsing.
        try {
          std::vector<std::string> nameOnly{name_};
          cmd.parse(nameOnly);
        } catch (const TCLAP::ArgException&) {
        }
        std::vector<std::string> options;
        options.reserve(longNames.size());
        for (const std::string& name : longNames) options.push_back("--" + name);
        throw TCLAP::CmdLineParseException(
            "Couldn't find match for argument" + DidYouMean(*stray, options), *stray);
      }
      cmd.parse(all);
      return true;
    } catch (TCLAP::ArgException& e) {
      try {
        cmd.getOutput()->failure(cmd, e);
      } catch (const TCLAP::ExitException& exit) {
        status = exit.getExitStatus();
      }
    } catch (const TCLAP::ExitException& exit) {
      status = exit.getExitStatus();
    }
    return false;
  }

  TCLAP::CmdLine cmd;

 private:
  std::string name_;
  std::string_view switchLetters_;
  std::vector<std::string_view> valueFlags_;
};

// Trailing image arguments, shown as optional in usage.
class OptionalImages : public TCLAP::UnlabeledMultiArg<std::string> {
 public:
  OptionalImages(const std::string& name, const std::string& description,
                 const std::string& typeLabel, TCLAP::CmdLineInterface& parser)
      : TCLAP::UnlabeledMultiArg<std::string>(name, description, false, typeLabel, parser) {}
  std::string shortID(const std::string& value) const override {
    return "[" + TCLAP::UnlabeledMultiArg<std::string>::shortID(value) + "]";
  }
  std::string longID(const std::string& value) const override {
    return "[" + TCLAP::UnlabeledMultiArg<std::string>::longID(value) + "]";
  }
};

// lint's layout and images as one list, shown as "<LAYOUT> [<IMAGE> ...]" in usage, so
// that --explain needs no layout.
class LayoutAndImages : public TCLAP::UnlabeledMultiArg<std::string> {
 public:
  explicit LayoutAndImages(TCLAP::CmdLineInterface& parser)
      : TCLAP::UnlabeledMultiArg<std::string>(
            "inputs", "The layout document, then the images the package would hold", false,
            "LAYOUT", parser) {}
  std::string shortID(const std::string& /*value*/) const override {
    return "<LAYOUT> [<IMAGE> ...]";
  }
  std::string longID(const std::string& /*value*/) const override {
    return "<LAYOUT> [<IMAGE> ...]";
  }
};

// --config FILE, as every command that reads a policy file takes it.
class ConfigArg {
 public:
  explicit ConfigArg(TCLAP::CmdLine& cmd)
      : config_("", "config",
                "Read the policy from FILE, not from the .branding-lint found from the input "
                "up to the repository's top",
                false, "", "FILE", cmd) {}
  std::optional<std::string> Get() const {
    return config_.isSet() ? std::optional<std::string>(config_.getValue()) : std::nullopt;
  }

 private:
  TCLAP::ValueArg<std::string> config_;
};

// --strict, --allow ID, --deny ID and --config FILE, as lint, verify and build take them.
class PolicyArgs {
 public:
  explicit PolicyArgs(TCLAP::CmdLine& cmd)
      : strict_("", "strict", "Fail on warnings too (status 5 and up)", cmd),
        allow_("", "allow", "Leave the finding ID out of the report (not an error's); repeatable",
               false, "ID", cmd),
        deny_("", "deny", "Report the finding ID as an error, which fails; repeatable", false, "ID",
              cmd),
        config_(cmd) {}

  // What the command line says of the policy, for a check session.
  CheckRequest Request() const {
    CheckRequest request;
    request.commandLine.strict = strict_.getValue();
    request.commandLine.allowed.insert(allow_.getValue().begin(), allow_.getValue().end());
    request.commandLine.denied.insert(deny_.getValue().begin(), deny_.getValue().end());
    request.config = config_.Get();
    return request;
  }

  // The policy for input: its policy file's, under the command line's; the problem when
  // either cannot be applied.
  std::variant<ChosenPolicy, std::string> Choose(const std::string& input) const {
    const CheckRequest request = Request();
    return ChoosePolicy(input, request.commandLine, request.config);
  }

 private:
  TCLAP::SwitchArg strict_;
  TCLAP::MultiArg<std::string> allow_;
  TCLAP::MultiArg<std::string> deny_;
  ConfigArg config_;
};

// --format, as lint and build take it.
class FormatArg {
 public:
  explicit FormatArg(TCLAP::CmdLine& cmd)
      : names_(Names()),
        format_("", "format",
                "How to report: lines (text), one JSON object (json), a SARIF 2.1.0 log (sarif) "
                "or GitHub Actions annotations (github)",
                false, "text", &names_, cmd),
        root_("", "sarif-root",
              "Write SARIF's file URIs relative to DIR (the SRCROOT base), so that the log is "
              "the same from any folder",
              false, "", "DIR", cmd) {}

  // Whether it was given.
  bool Set() const { return format_.isSet(); }
  // The folder SARIF's file URIs are relative to, when given.
  std::optional<std::string> SarifRoot() const {
    return root_.isSet() ? std::optional<std::string>(root_.getValue()) : std::nullopt;
  }
  // The format's name, as given.
  const std::string& Name() const { return format_.getValue(); }
  // The format asked for, text when none was.
  LintFormat Get() const {
    for (const auto& [key, value] : kFormats) {
      if (format_.getValue() == key) return value;
    }
    return LintFormat::kText;
  }

 private:
  static constexpr std::pair<const char*, LintFormat> kFormats[] = {
      {"text", LintFormat::kText},
      {"json", LintFormat::kJson},
      {"sarif", LintFormat::kSarif},
      {"github", LintFormat::kGithub}};
  static std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& [key, value] : kFormats) names.emplace_back(key);
    return names;
  }

  TCLAP::ValuesConstraint<std::string> names_;
  TCLAP::ValueArg<std::string> format_;
  TCLAP::ValueArg<std::string> root_;
};

}  // namespace

int RunWhole(const std::string& input,
             const std::function<Outcome(std::ostream& out, std::ostream& err)>& run,
             const Fallback& fallback) {
  std::ostringstream out;
  std::ostringstream err;
  Outcome outcome = 0;
  try {
    outcome = run(out, err);
  } catch (const std::bad_alloc&) {
    outcome = Fault{Status::kFatal, kNoOffset, "out of memory"};
  } catch (const std::exception& e) {
    outcome = Fault{Status::kFatal, kNoOffset, e.what()};
  }
  std::cerr << err.str();
  if (const auto* status = std::get_if<int>(&outcome)) {
    std::cout << out.str() << std::flush;
    return *status;
  }
  const Fault& fault = std::get<Fault>(outcome);
  if (fault.kind == Status::kFatal) {
    std::cerr << "Fatal error: " << fault.message << std::endl;
  } else {
    ReportFault(std::cerr, input, fault);
  }
  const int status = static_cast<int>(fault.kind);
  std::cout << fallback(status, fault) << std::flush;
  return status;
}

namespace {

// The JSON object of a command on input that printed none.
Fallback JsonFallback(const char* command, const std::string& input) {
  return [command, input](int status, const Fault& fault) {
    return JsonHead(command, input, status) + JsonTail({}, fault);
  };
}

int List(const std::vector<std::string>& args) {
  Command command("list", "Shows the header and every record of a branding package");
  TCLAP::UnlabeledValueArg<std::string> package("package", "The package file", true, "", "PACKAGE",
                                                command.cmd);
  TCLAP::SwitchArg json("", "json", "One JSON object instead of a table", command.cmd);
  TCLAP::SwitchArg layout("", "layout", "Also show the layout text", command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  if (json.getValue()) {
    return RunWhole(
        package.getValue(),
        [&](std::ostream& out, std::ostream& err) -> Outcome {
          FileSource file(package.getValue());
          if (!file.IsOpen()) return CannotOpen(file);
          return ListPackage(file, package.getValue(), {true, layout.getValue()}, out, err);
        },
        JsonFallback("list", package.getValue()));
  }
  return ListPackage(package.getValue(), {false, layout.getValue()}, std::cout, std::cerr);
}

int Verify(const std::vector<std::string>& args) {
  Command command("verify",
                  "Checks everything a client relies on, with the findings lint has of the "
                  "layout and images; a corrupt package gets its first fault with its offset",
                  "", {"--sha256", "--allow", "--deny", "--config", "--layout", "--dir"});
  TCLAP::UnlabeledValueArg<std::string> package("package", "The package file", true, "", "PACKAGE",
                                                command.cmd);
  TCLAP::ValueArg<std::string> sha256("", "sha256", "The SHA-256 the packager printed", false, "",
                                      "HEX", command.cmd);
  const PolicyArgs policy(command.cmd);
  TCLAP::SwitchArg json("", "json", "One JSON object instead of text", command.cmd);
  TCLAP::ValueArg<std::string> layout(
      "", "layout",
      "Say whether the package is the one LAYOUT and its images build, byte for byte (status 7 "
      "when not)",
      false, "", "LAYOUT", command.cmd);
  TCLAP::MultiArg<std::string> dirs(
      "", "dir", "With --layout, find the images in DIR (repeatable; first match wins)", false,
      "DIR", command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  if (layout.isSet()) {
    if (sha256.isSet()) {
      std::cerr << "Error: --layout and --sha256 ask for two checks" << std::endl;
      return 1;
    }
    CheckRequest request = policy.Request();
    request.dirs = dirs.getValue();
    const auto run = [&](std::ostream& out, std::ostream& err) -> Outcome {
      return VerifyBuilt(package.getValue(), layout.getValue(), request, json.getValue(), out, err);
    };
    if (json.getValue())
      return RunWhole(package.getValue(), run, JsonFallback("verify", package.getValue()));
    return VerifyBuilt(package.getValue(), layout.getValue(), request, false, std::cout, std::cerr);
  }
  if (dirs.isSet()) {
    std::cerr << "Error: --dir is for --layout" << std::endl;
    return 1;
  }
  VerifyOptions options;
  options.json = json.getValue();
  auto chosen = policy.Choose(package.getValue());
  if (auto* problem = std::get_if<std::string>(&chosen)) {
    return ReportPolicyProblem(
        *problem,
        {"verify", package.getValue(), options.json ? LintFormat::kJson : LintFormat::kText,
         policy.Request().commandLine.denied, std::nullopt},
        std::cout, std::cerr);
  }
  options.policy = std::get<ChosenPolicy>(chosen).policy;
  if (sha256.isSet()) {
    const std::string& hex = sha256.getValue();
    if (hex.size() != 64 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      std::cerr << "Error: --sha256 takes 64 hexadecimal digits" << std::endl;
      return 1;
    }
    options.sha256 = hex;
  }
  if (options.json) {
    return RunWhole(
        package.getValue(),
        [&](std::ostream& out, std::ostream& err) -> Outcome {
          FileSource file(package.getValue());
          if (!file.IsOpen()) return CannotOpen(file);
          return VerifyPackage(file, package.getValue(), options, out, err);
        },
        JsonFallback("verify", package.getValue()));
  }
  return VerifyPackage(package.getValue(), options, std::cout, std::cerr);
}

int Extract(const std::vector<std::string>& args) {
  Command command("extract", "Writes DIR/layout.xml and every image of a package into DIR", "f");
  TCLAP::UnlabeledValueArg<std::string> package("package", "The package file", true, "", "PACKAGE",
                                                command.cmd);
  TCLAP::UnlabeledValueArg<std::string> dir("dir", "The directory to write into", true, "", "DIR",
                                            command.cmd);
  TCLAP::SwitchArg force("f", "force", "Replace files that exist", command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  return ExtractPackage(package.getValue(), dir.getValue(),
                        force.getValue() ? Existing::kReplace : Existing::kRefuse, std::cout,
                        std::cerr);
}

int Lint(const std::vector<std::string>& args) {
  Command command(
      "lint",
      "Reports every finding about a layout document: schema, layout rules and, "
      "given images, references",
      "", {"--explain", "--format", "--allow", "--deny", "--dir", "--config", "--sarif-root"});
  LayoutAndImages inputs(command.cmd);
  const PolicyArgs policy(command.cmd);
  const FormatArg format(command.cmd);
  TCLAP::MultiArg<std::string> dirs(
      "", "dir", "Check the images the layout names, found in DIR (repeatable; first match wins)",
      false, "DIR", command.cmd);
  TCLAP::SwitchArg json("", "json", "The same as --format json", command.cmd);
  TCLAP::ValueArg<std::string> explain("", "explain",
                                       "Explain the finding ID, or list every one with 'all'",
                                       false, "", "ID", command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  if (explain.isSet()) {
    if (explain.getValue() == "all") {
      // Plain text for a person at a terminal; the Markdown table for a page or a script.
      std::cout << (isatty(STDOUT_FILENO) != 0 ? CatalogueText() : CatalogueTable());
      return 0;
    }
    const FindingKind* kind = FindFindingKind(explain.getValue());
    if (kind == nullptr) {
      std::cerr << "Error: " << UnknownFinding(explain.getValue()) << std::endl;
      return 1;
    }
    std::cout << Explanation(*kind);
    return 0;
  }
  if (inputs.getValue().empty()) {
    std::cerr << "Error: lint takes a LAYOUT and its images, or --explain ID" << std::endl;
    return 1;
  }
  const std::string& layout = inputs.getValue().front();
  const std::vector<std::string> images(inputs.getValue().begin() + 1, inputs.getValue().end());
  LintOptions options;
  options.request = policy.Request();
  if (json.getValue() && format.Set() && format.Get() != LintFormat::kJson) {
    std::cerr << "Error: --json and --format " << format.Name() << " ask for two formats"
              << std::endl;
    return 1;
  }
  options.format = json.getValue() ? LintFormat::kJson : format.Get();
  options.sarifRoot = format.SarifRoot();
  if (dirs.isSet() && !images.empty()) {
    std::cerr << "Error: lint takes images or --dir, not both" << std::endl;
    return 1;
  }
  options.request.dirs = dirs.getValue();
  const auto run = [&](std::ostream& out, std::ostream& err) -> Outcome {
    LayoutFile file = ReadLayoutFile(layout);
    if (auto fault = LayoutFault(file)) return *fault;
    return LintLayout(layout, std::move(file.text), images, options, out, err);
  };
  if (options.format == LintFormat::kJson) {
    return RunWhole(layout, run, JsonFallback("lint", layout));
  }
  if (options.format == LintFormat::kSarif) {
    // A log of a run that failed, naming the file and the reason.
    return RunWhole(layout, run, [&layout, &options](int status, const Fault& fault) {
      return SarifLog(
          {}, {status, options.request.commandLine.denied, options.sarifRoot, {{layout, fault}}});
    });
  }
  return LintLayout(layout, images, options, std::cout, std::cerr);
}

int Build(const std::vector<std::string>& args) {
  Command command("build",
                  "Builds the package of a layout and the images it names, found in the folders "
                  "given (the layout's own by default), after linting them; prints the "
                  "packager's two lines",
                  "",
                  {"-o", "--output", "--dir", "--depfile", "--format", "--allow", "--deny",
                   "--config", "--sarif-root"});
  TCLAP::UnlabeledValueArg<std::string> layout("layout", "The layout document", true, "", "LAYOUT",
                                               command.cmd);
  TCLAP::ValueArg<std::string> output("o", "output", "The package to write", true, "", "PACKAGE",
                                      command.cmd);
  TCLAP::MultiArg<std::string> dirs("", "dir",
                                    "Find the images in DIR (repeatable; first match wins)", false,
                                    "DIR", command.cmd);
  TCLAP::ValueArg<std::string> depfile("", "depfile",
                                       "Also write a Make rule for the package, for make and ninja",
                                       false, "", "FILE", command.cmd);
  const PolicyArgs policy(command.cmd);
  const FormatArg format(command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  BuildOptions options;
  options.lint.request = policy.Request();
  options.lint.request.dirs = dirs.getValue();
  options.lint.format = format.Get();
  options.lint.sarifRoot = format.SarifRoot();
  options.output = output.getValue();
  if (depfile.isSet()) {
    if (depfile.getValue() == output.getValue()) {
      std::cerr << "Error: the depfile and the package are one file" << std::endl;
      return 1;
    }
    options.depfile = depfile.getValue();
  }
  return BuildFromLayout(layout.getValue(), options, std::cout, std::cerr);
}

int Refs(const std::vector<std::string>& args) {
  Command command("refs", "Prints the image references of a layout document, one a line", "",
                  {"--dir", "--depfile", "-o", "--output", "--config"});
  TCLAP::UnlabeledValueArg<std::string> layout("layout", "The layout document", true, "", "LAYOUT",
                                               command.cmd);
  TCLAP::SwitchArg null("", "null",
                        "End each name with a zero byte instead of a line end, unescaped (for "
                        "xargs -0 and mapfile -d '')",
                        command.cmd);
  TCLAP::MultiArg<std::string> dirs(
      "", "dir",
      "Find the images in DIR, as build does (repeatable; first match wins), and print each "
      "where it is found (one found nowhere in the first DIR)",
      false, "DIR", command.cmd);
  TCLAP::ValueArg<std::string> depfile(
      "", "depfile",
      "Print a Make rule 'PACKAGE: LAYOUT IMAGE...' for make and ninja instead, to rebuild "
      "PACKAGE when the layout or an image changes",
      false, "", "PACKAGE", command.cmd);
  TCLAP::ValueArg<std::string> output(
      "o", "output", "Write to FILE, whole and only when the layout is sound, instead", false, "",
      "FILE", command.cmd);
  const ConfigArg config(command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  RefsOptions options;
  options.config = config.Get();
  if (output.isSet()) options.output = output.getValue();
  options.null = null.getValue();
  options.dirs = dirs.getValue();
  if (depfile.isSet()) {
    if (options.null) {
      std::cerr << "Error: --depfile and --null ask for two formats" << std::endl;
      return 1;
    }
    options.depfile = depfile.getValue();
  }
  return ListReferences(layout.getValue(), options, std::cout, std::cerr);
}

int Textconv(const std::vector<std::string>& args) {
  Command command("textconv",
                  "Prints a stable text of a whole package, for git diff's textconv: the layout "
                  "a line per attribute or text with its element's path, and every image");
  TCLAP::UnlabeledValueArg<std::string> package("package", "The package file", true, "", "PACKAGE",
                                                command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  return TextOfPackage(package.getValue(), std::cout, std::cerr);
}

int Diff(const std::vector<std::string>& args) {
  Command command("diff", "Shows how two packages differ: layout element by element, and images");
  TCLAP::UnlabeledValueArg<std::string> before("before", "The first package", true, "", "A",
                                               command.cmd);
  TCLAP::UnlabeledValueArg<std::string> after("after", "The second package", true, "", "B",
                                              command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  return DiffPackages(before.getValue(), after.getValue(), std::cout, std::cerr);
}

int Preview(const std::vector<std::string>& args) {
  Command command("preview", "Writes one HTML page that draws the branding as the client shows it",
                  "", {"-o", "--output", "--layout", "--port", "--config"});
  TCLAP::ValueArg<std::string> output("o", "output", "The page to write", true, "", "FILE.html");
  TCLAP::SwitchArg serve("", "serve",
                         "Serve the layout's page on 127.0.0.1 instead, kept up to date as its "
                         "files are saved");
  command.cmd.xorAdd(output, serve);
  TCLAP::ValueArg<int> port("", "port", "With --serve, the port (0, the default, picks a free one)",
                            false, 0, "N", command.cmd);
  TCLAP::ValueArg<std::string> layout("", "layout", "Preview a layout and its images instead",
                                      false, "", "LAYOUT", command.cmd);
  OptionalImages inputs("inputs", "The package, or with --layout the images", "PACKAGE|IMAGE",
                        command.cmd);
  const ConfigArg config(command.cmd);
  int status = 0;
  if (!command.Parse(args, status)) return status;
  if (config.Get() && !layout.isSet()) {
    std::cerr << "Error: --config is for --layout: a package's preview reads no policy file"
              << std::endl;
    return 1;
  }
  if (serve.getValue()) {
    if (!layout.isSet() || port.getValue() < 0 || port.getValue() > 65535) {
      std::cerr << "Error: preview --serve takes --layout LAYOUT [IMAGE...] and a --port from 0 "
                   "to 65535"
                << std::endl;
      return 1;
    }
    return ServePreview(layout.getValue(), inputs.getValue(), config.Get(), port.getValue(),
                        std::cout, std::cerr);
  }
  if (port.isSet()) {
    std::cerr << "Error: --port is for --serve" << std::endl;
    return 1;
  }
  if (layout.isSet()) {
    return PreviewLayout(layout.getValue(), inputs.getValue(), config.Get(), output.getValue(),
                         std::cout, std::cerr);
  }
  if (inputs.getValue().size() != 1) {
    std::cerr << "Error: preview takes one PACKAGE, or --layout LAYOUT and its images" << std::endl;
    return 1;
  }
  return PreviewPackage(inputs.getValue()[0], output.getValue(), std::cout, std::cerr);
}

int Lsp(const std::vector<std::string>& args) {
  Command command("lsp",
                  "Serves the Language Server Protocol on standard input and output: lint's "
                  "findings, completion, hover, definitions, outline and quick fixes for layouts");
  int status = 0;
  if (!command.Parse(args, status)) return status;
  return ServeLanguage();
}

std::string Usage() {
  std::size_t width = 0;
  for (const CommandEntry& entry : Commands()) {
    width = std::max(width, std::strlen(entry.name) + 1 + std::strlen(entry.arguments) + 2);
  }
  std::ostringstream usage;
  usage << kUsageHead;
  for (const CommandEntry& entry : Commands()) {
    usage << "  " << std::left << std::setw(static_cast<int>(width))
          << std::string(entry.name) + " " + entry.arguments << entry.summary << '\n';
  }
  usage << kUsageTail;
  for (const StatusEntry& entry : kStatuses) {
    usage << "  " << std::right << std::setw(2) << static_cast<int>(entry.status) << "  "
          << entry.meaning << '\n';
  }
  return usage.str();
}

int Dispatch(int argc, char** argv) {
  const std::string command = argc > 1 && argv[1] != nullptr ? argv[1] : "";
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) {
    if (argv[i] != nullptr) args.emplace_back(argv[i]);
  }
  for (const CommandEntry& entry : Commands()) {
    if (command == entry.name && entry.run != nullptr) return entry.run(args);
  }
  if (command == "--help" || command == "-h") {
    std::cout << Usage();
    return 0;
  }
  if (command == "--version") {
    std::cout << kProgram << ' ' << kVersion << '\n';
    return 0;
  }
  if (!command.empty()) {
    std::vector<std::string> names;
    for (const CommandEntry& entry : Commands()) {
      if (entry.run != nullptr) names.emplace_back(entry.name);
    }
    std::cerr << "Error: unknown command " << Shown(command) << DidYouMean(command, names)
              << "\n\n";
  }
  std::cerr << Usage();
  return 1;
}

}  // namespace

const std::vector<CommandEntry>& Commands() {
  // Made on first use: a table built before main could throw where nothing catches it.
  static const std::vector<CommandEntry> commands = {
      {"list", "PACKAGE", "show the header and every record", List},
      {"verify", "PACKAGE", "check everything a client relies on", Verify},
      {"extract", "PACKAGE DIR", "write the layout and every image into DIR", Extract},
      {"lint", "LAYOUT [IMAGE...]", "report every finding about a layout", Lint},
      {"build", "LAYOUT -o PACKAGE", "lint, then build the package of a layout", Build},
      {"refs", "LAYOUT", "print the image names a layout refers to", Refs},
      {"diff", "A B", "show how two packages differ", Diff},
      {"textconv", "PACKAGE", "print a package as text, for git diff", Textconv},
      {"lsp", "", "serve layouts to an editor (LSP)", Lsp},
      {"preview", "PACKAGE", "draw the branding as the client shows it", Preview},
      {"preview", "--layout LAYOUT [IMAGE...]", "the same for a layout and its images", nullptr},
      {"preview", "--serve --layout LAYOUT", "serve it, updated at each save", nullptr},
  };
  return commands;
}

int RunInspect(int argc, char** argv) {
  InstallSignalCleanup();
  return RunGuarded([&] { return Dispatch(argc, argv); });
}

}  // namespace vantu::branding_package
