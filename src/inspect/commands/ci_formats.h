// Findings in the formats CI services and editors read.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/folder_of.h"
#include "inspect/model/findings.h"
#include "inspect/model/tool_table.h"

namespace vantu::branding_package {

// What a SARIF log says of its run besides the findings.
struct SarifRun {
  int status = 0;                   // the exit status
  std::set<std::string> denied;     // ids --deny raised to errors, as configuration overrides
  std::optional<std::string> root;  // when given, file URIs relative to it, as SRCROOT
  // A run that failed: its input and why; it gets an error result too, of failedRule.
  std::optional<std::pair<std::string, Fault>> failure;
  FindingId failedRule = FindingId::kLayoutUnreadable;
};

// One SARIF 2.1.0 log of one run: every catalogue entry as a rule (title, explanation, default
// level; the faults last), each finding as a result (rule, level, message, file and, when it has
// one, its line and column in characters; suppressions for what was left out), and the exit
// status.
std::string SarifLog(const std::vector<Finding>& findings, const SarifRun& run);

// One GitHub Actions workflow command a finding ("::warning file=F,line=L,col=C,title=ID::
// message"), notes as notices.
std::string GithubAnnotations(const std::vector<Finding>& findings);

}  // namespace vantu::branding_package
