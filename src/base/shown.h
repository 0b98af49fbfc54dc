// Text from files and command lines as the tools show it on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace vantu::branding_package {

// text with every control byte written C-style (\n, \t, \r, else \xHH), so that a name or
// text can neither forge an output line nor reach the terminal as a control sequence.
std::string Shown(std::string_view text);

}  // namespace vantu::branding_package
