// The tool's command line: four arguments on TCLAP and the rules between them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <tclap/CmdLine.h>

namespace vantu::branding_package {

// Constraint behind --image: accepts every path; the image stage judges the file.
class InputImageConstraint : public TCLAP::Constraint<std::string> {
 public:
  // "image file".
  std::string description() const override;
  // "image", the type label of --image in usage.
  std::string shortID() const override;
  // Always true.
  bool check(const std::string& value) const override;
};

}  // namespace vantu::branding_package

class CommandLineOptions {
 public:
  // Builds the parser and adds the four arguments.
  CommandLineOptions();
  CommandLineOptions(const CommandLineOptions&) = delete;
  CommandLineOptions& operator=(const CommandLineOptions&) = delete;

  // Parses argv: 0 go on, 1 rejected and reported, 2 help or version printed.
  int parse(int argc, char** argv);
  // Runs the parser, the help and version checks and the rules on args.
  int parseArguments(std::vector<std::string>& args);

  // The first argument of the parser named exactly name.
  TCLAP::Arg* findArgument(std::string_view name);
  // The arguments of args for which keep is true, in order.
  static std::vector<TCLAP::Arg*> filterArguments(const std::vector<TCLAP::Arg*>& args,
                                                  const std::function<bool(TCLAP::Arg*)>& keep);
  // The report of a violated rule: prefix, the arguments' flags, suffix.
  static TCLAP::ArgException makeRuleException(const std::vector<TCLAP::Arg*>& args,
                                               const std::string& prefix,
                                               const std::string& suffix);
  // At least one of args must be set.
  void requireAtLeastOne(const std::vector<TCLAP::Arg*>& args);
  // At most one of args may be set.
  void requireMutuallyExclusive(const std::vector<TCLAP::Arg*>& args);
  // Every one of args must be set.
  void requireAll(const std::vector<TCLAP::Arg*>& args);

  // The parser; owns the help, version and ignore-rest switches.
  TCLAP::CmdLine cmd;
  // Must be built before imageArg, which keeps a pointer to it.
  vantu::branding_package::InputImageConstraint imageConstraint;
  // --xml-layout / -x
  TCLAP::ValueArg<std::string> xmlLayoutArg;
  // --image / -i, repeatable, in command-line order
  TCLAP::MultiArg<std::string> imageArg;
  // --output / -o
  TCLAP::ValueArg<std::string> outputArg;
  // --dump-xml-schema / -d
  TCLAP::SwitchArg dumpXmlSchemaArg;

 private:
  // Calls action; help and version end it with an exit request, which is dropped.
  static void runParser(const std::function<void()>& action);
  // Hands a violated rule to the parser's output, which reports it and requests exit.
  void fail(TCLAP::ArgException exception);
};
