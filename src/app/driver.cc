#include "app/driver.h"

#include <iostream>
#include <string>

#include "app/command_line_options.h"
#include "base/bp_exception.h"
#include "base/guarded_run.h"
#include "base/replaced_file.h"
#include "base/shown.h"
#include "base/signal_cleanup.h"
#include "layout/layout_schema.h"
#include "package/file_writer.h"

namespace vantu::branding_package {

namespace {

// Schema mode: the schema and one line end, to standard output or to --output.
void DumpSchema(const CommandLineOptions& options) {
  if (!options.outputArg.isSet()) {
    std::cout.write(XmlLayoutSchema.data(), static_cast<std::streamsize>(XmlLayoutSchema.size()));
    std::cout << std::endl;
    return;
  }
  const std::string& path = options.outputArg.getValue();
  std::cout << "Writing schema to: " << Shown(path) << std::endl;
  ReplacedFile output(path, Mode::kText);
  if (!output.IsOpen()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Output file: " + path);
  output.File().Write(XmlLayoutSchema.data(), XmlLayoutSchema.size());
  output.File().Write("\n", 1);
  if (!output.Close() || !output.Publish()) {
    throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
  }
}

// Build mode: layout, images in command-line order, package, digest.
void BuildPackage(const CommandLineOptions& options) {
  cBP_FILE_WRITER writer(options.outputArg.getValue());
  writer.LoadLayout(options.xmlLayoutArg.getValue());
  writer.AnticipateImages(options.imageArg.getValue());
  for (const std::string& image : options.imageArg.getValue()) writer.AddImage(image);
  writer.WritePackage();
  std::cout << "Output file: " << Shown(options.outputArg.getValue()) << std::endl;
  // The label goes out first: a failing digest reports on this same line.
  std::cout << "Hash: ";
  const std::string hash = writer.GetPackageHash();
  std::cout << hash << std::endl;
}

int Run(int argc, char** argv) {
  CommandLineOptions options;
  options.cmd.setExceptionHandling(false);
  options.cmd.ignoreUnmatched(false);
  const int parsed = options.parse(argc, argv);
  if (parsed != 0) return parsed == 1 ? 1 : 0;
  try {
    if (options.dumpXmlSchemaArg.isSet()) {
      DumpSchema(options);
    } else {
      BuildPackage(options);
    }
  } catch (const cBP_EXCEPTION& e) {
    std::cout << "Error: " << e.code << std::endl;
    // A -505 report is one line per name, each name shown as it was escaped.
    std::cout << "\t" << (e.code == BP_ERR_REFERENCES ? e.what() : Shown(e.what())) << std::endl;
    return e.code;
  }
  return 0;
}

}  // namespace

int RunTool(int argc, char** argv) {
  InstallSignalCleanup();
  return RunGuarded([&] { return Run(argc, argv); });
}

}  // namespace vantu::branding_package
