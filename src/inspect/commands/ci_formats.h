// Findings in the formats CI services and editors read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "inspect/model/findings.h"

namespace vantu::branding_package {

// One SARIF 2.1.0 log of one run: every catalogue entry as a rule (title, explanation, default
// level), each finding as a result (rule, level, message, file and, when it has one, its line
// and column in characters), and the exit status. A run that could not read its input gives
// no results and notification, the reason.
std::string SarifLog(const std::vector<Finding>& findings, int status,
                     std::string_view notification = {});

// One GitHub Actions workflow command a finding ("::warning file=F,line=L,col=C,title=ID::
// message"), notes as notices.
std::string GithubAnnotations(const std::vector<Finding>& findings);

// path as a URI reference: every byte but letters, digits, "-._~/" percent-encoded; an
// absolute path as a file: URI.
std::string PathUri(std::string_view path);

}  // namespace vantu::branding_package
