// An open layout as the language server knows it: linted whole at each change, the way lint
// --dir would lint it, and every answer to the editor read from that.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inspect/lsp/lsp_text.h"
#include "inspect/model/check_session.h"
#include "inspect/model/suppressions.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

struct Analysis {
  std::string path;  // the layout's
  std::unique_ptr<LayoutDocument> document;
  std::unique_ptr<TextPositions> positions;  // of the document's text
  std::vector<std::string> folders;          // where its images are looked for
  LintReport report;                         // as lint reports it, under the policy file
  std::optional<std::string> problem;        // why the policy file cannot be applied

  // The image facts lint learnt of name, when it was found and read.
  const LintedImage* Image(const std::string& name) const;
  // The reference whose element holds offset (its start tag to its end tag), or null.
  const LayoutDocument::Reference* ReferenceAt(std::size_t offset) const;
};

// Lints text, the layout at path, with the images it names found as build finds them (the
// layout's folder, or the dir lines of its policy file) and that file's policy.
// Checked by session, whose images as they were when last read are not read again.
std::unique_ptr<Analysis> Analyse(const std::string& path, std::string text, CheckSession& session);

}  // namespace vantu::branding_package
