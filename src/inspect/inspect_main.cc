#include "inspect/inspect_cli.h"

int main(int argc, char** argv) { return vantu::branding_package::RunInspect(argc, argv); }
