// The tool's whole run: parse the command line, then dump the schema or build a package.
#pragma once

namespace vantu::branding_package {

// Runs the tool on argv and returns the process exit status.
int RunTool(int argc, char** argv);

}  // namespace vantu::branding_package
