#include "app/driver.h"

int main(int argc, char** argv) { return vantu::branding_package::RunTool(argc, argv); }
