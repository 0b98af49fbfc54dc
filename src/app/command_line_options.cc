#include "app/command_line_options.h"

#include <iostream>
#include <stdexcept>

#include "base/stray_switches.h"
#include "base/version.h"

namespace vantu::branding_package {

std::string InputImageConstraint::description() const { return "image file"; }
std::string InputImageConstraint::shortID() const { return "image"; }
bool InputImageConstraint::check(const std::string& /*value*/) const { return true; }

}  // namespace vantu::branding_package

namespace {

bool IsSet(TCLAP::Arg* arg) { return arg->isSet(); }
bool IsNotSet(TCLAP::Arg* arg) { return !arg->isSet(); }

}  // namespace

CommandLineOptions::CommandLineOptions()
    : cmd("Creates a branding package to customize Corvane Desktop Client", ' ',
          vantu::branding_package::kVersion, true),
      imageConstraint(),
      xmlLayoutArg("x", "xml-layout",
                   "The layout file used to describe the customizations to be made. Note: this "
                   "file must adhere to the xml schema",
                   false, "", "path"),
      imageArg("i", "image", "An image file, the file must exist on the filesystem", false,
               &imageConstraint),
      outputArg("o", "output", "The output filename to write to", false, "", "path"),
      dumpXmlSchemaArg("d", "dump-xml-schema",
                       "Dumps the xml schema describing the customization options and required "
                       "fields",
                       false) {
  cmd.add(xmlLayoutArg);
  cmd.add(imageArg);
  cmd.add(outputArg);
  cmd.add(dumpXmlSchemaArg);
}

int CommandLineOptions::parse(int argc, char** argv) {
  std::vector<std::string> args;
  args.reserve(argc > 0 ? static_cast<std::size_t>(argc) : 0);
  for (int i = 0; i < argc; ++i) {
    if (argv[i] != nullptr) args.emplace_back(argv[i]);
  }
  return parseArguments(args);
}

int CommandLineOptions::parseArguments(std::vector<std::string>& args) {
  try {
    if (auto stray = vantu::branding_package::FindStraySwitches(
            args, "dh", {"-x", "--xml-layout", "-i", "--image", "-o", "--output"})) {
      throw TCLAP::CmdLineParseException("Couldn't find match for argument", *stray);
    }
    runParser([&] { cmd.parse(args); });
    if (findArgument("help")->isSet()) return 2;
    if (findArgument("version")->isSet()) return 2;
    requireAtLeastOne({&xmlLayoutArg, &dumpXmlSchemaArg});
    requireMutuallyExclusive({&xmlLayoutArg, &dumpXmlSchemaArg});
    if (xmlLayoutArg.isSet() || (outputArg.isSet() && !dumpXmlSchemaArg.isSet())) {
      requireAll({&outputArg, &xmlLayoutArg});
    }
    return 0;
  } catch (TCLAP::ArgException& e) {
    std::cerr << "Error: " << e.error() << " for arg " << e.argId() << std::endl;
    return 1;
  } catch (TCLAP::ExitException&) {
    return 1;
  }
}

void CommandLineOptions::runParser(const std::function<void()>& action) {
  try {
    action();
  } catch (const TCLAP::ExitException&) {
    // Help or version text was printed; the caller looks at which switch is set.
  }
}

TCLAP::Arg* CommandLineOptions::findArgument(std::string_view name) {
  for (TCLAP::Arg* arg : cmd.getArgList()) {
    if (arg->getName() == name) return arg;
  }
  throw std::runtime_error("Could not find " + std::string(name) + " argument");
}

std::vector<TCLAP::Arg*> CommandLineOptions::filterArguments(
    const std::vector<TCLAP::Arg*>& args, const std::function<bool(TCLAP::Arg*)>& keep) {
  std::vector<TCLAP::Arg*> kept;
  for (TCLAP::Arg* arg : args) {
    if (keep(arg)) kept.push_back(arg);
  }
  return kept;
}

TCLAP::ArgException CommandLineOptions::makeRuleException(const std::vector<TCLAP::Arg*>& args,
                                                          const std::string& prefix,
                                                          const std::string& suffix) {
  std::string text = prefix;
  std::string id;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) {
      text += ", ";
      id += ", ";
    }
    text += args[i]->toString();
    id += args[i]->getName();
  }
  text += suffix;
  return TCLAP::ArgException(text, id);
}

void CommandLineOptions::fail(TCLAP::ArgException exception) {
  cmd.getOutput()->failure(cmd, exception);
}

void CommandLineOptions::requireAtLeastOne(const std::vector<TCLAP::Arg*>& args) {
  if (filterArguments(args, IsSet).empty()) {
    fail(makeRuleException(args, "At least one of ", " is required"));
  }
}

void CommandLineOptions::requireMutuallyExclusive(const std::vector<TCLAP::Arg*>& args) {
  std::vector<TCLAP::Arg*> set = filterArguments(args, IsSet);
  if (set.size() > 1) fail(makeRuleException(set, "Options ", " are mutually exclusive"));
}

void CommandLineOptions::requireAll(const std::vector<TCLAP::Arg*>& args) {
  if (filterArguments(args, IsSet).size() != args.size()) {
    fail(makeRuleException(filterArguments(args, IsNotSet), "Missing required arguments: ", ""));
  }
}
