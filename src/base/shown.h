// Text from files and command lines as the tools show it on a terminal.
#pragma once

#include <string>
#include <string_view>

namespace vantu::branding_package {

// text with every control byte (C1 controls' two bytes too), and every byte that starts no
// UTF-8 character, written
// C-style (\n, \t, \r, else \xHH), and a backslash that would start such an escape as \\,
// so that a name or text can neither forge an output line nor reach the terminal as a
// control sequence, and two different texts never show alike.
std::string Shown(std::string_view text);

}  // namespace vantu::branding_package
