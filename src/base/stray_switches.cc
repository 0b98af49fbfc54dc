#include "base/stray_switches.h"

#include <algorithm>

namespace vantu::branding_package {

std::optional<std::string> FindStraySwitches(const std::vector<std::string>& args,
                                             std::string_view switchLetters,
                                             const std::vector<std::string_view>& valueFlags,
                                             const std::vector<std::string>* longNames) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& token = args[i];
    if (token == "--") break;
    if (std::find(valueFlags.begin(), valueFlags.end(), token) != valueFlags.end()) {
      ++i;
      continue;
    }
    if (token.size() > 2 && token[0] == '-' && token[1] != '-' &&
        token.find_first_not_of(switchLetters, 1) != std::string::npos) {
      return token;
    }
    if (longNames != nullptr && token.size() > 2 && token[0] == '-' && token[1] == '-' &&
        std::find(longNames->begin(), longNames->end(), token.substr(2)) == longNames->end()) {
      return token;
    }
  }
  return std::nullopt;
}

}  // namespace vantu::branding_package
