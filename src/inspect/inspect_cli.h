// The inspect tool's command line: a subcommand and its arguments.
#pragma once

namespace vantu::branding_package {

// Runs branding-package-inspect on argv and returns the process exit status.
int RunInspect(int argc, char** argv);

}  // namespace vantu::branding_package
