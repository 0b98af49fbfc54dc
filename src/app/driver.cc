#include "app/driver.h"

#include <iostream>
#include <string>

#include "base/bp_exception.h"
#include "base/guarded_run.h"
#include "base/output_file.h"
#include "app/command_line_options.h"
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
  std::cout << "Writing schema to: " << path << std::endl;
  OutputFile file(path, false);
  if (!file.IsOpen()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Output file: " + path);
  file.Write(XmlLayoutSchema.data(), XmlLayoutSchema.size());
  file.Write("\n", 1);
  if (!file.Commit()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to write Output file: " + path);
}

// Build mode: layout, images in command-line order, package, digest.
void BuildPackage(const CommandLineOptions& options) {
  cBP_FILE_WRITER writer(options.outputArg.getValue());
  writer.LoadLayout(options.xmlLayoutArg.getValue());
  for (const std::string& image : options.imageArg.getValue()) writer.AddImage(image);
  writer.WritePackage();
  std::cout << "Output file: " << options.outputArg.getValue() << std::endl;
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
    std::cout << "\t" << e.what() << std::endl;
    return e.code;
  }
  return 0;
}

}  // namespace

int RunTool(int argc, char** argv) {
  return RunGuarded([&] { return Run(argc, argv); });
}

}  // namespace vantu::branding_package
