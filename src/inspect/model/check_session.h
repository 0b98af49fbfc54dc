// One check session: the one way lint, build, preview, the live page, refs --depfile and the
// language server check a layout. It resolves the policy (command line, policy file, inline
// suppressions) and the folders images are found in, one rule for all; keeps each image's
// facts while its file stays as it was; and numbers each check. A one-shot command is a
// session of one check.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "inspect/model/checks.h"
#include "inspect/model/findings.h"
#include "inspect/model/image_cache.h"
#include "inspect/model/lint_config.h"
#include "layout/layout_document.h"

namespace vantu::branding_package {

// What lint found, as every format reports it.
struct LintReport {
  std::string layoutPath;
  std::vector<Finding> findings;    // as the policy reports them
  std::vector<Finding> suppressed;  // what the policy or the layout's comments left out
  std::vector<LintedImage> images;
  int allowed = 0;                       // findings the policy or the layout's comments left out
  int status = 0;                        // the run's exit status
  std::set<std::string> denied;          // what the policy raised to errors
  std::optional<std::string> sarifRoot;  // SARIF's file URIs relative to it, when given
};

// What a surface asks of every check it makes.
struct CheckRequest {
  Policy commandLine;                 // --strict, --allow, --deny
  std::optional<std::string> config;  // --config FILE: that policy file, not the one found
  std::vector<std::string> dirs;      // --dir: where images are found, over the policy file's
  Learn learn = Learn::kAll;          // what is learnt of each image
  bool records = false;      // images keep the record the packager stores (read afresh each check)
  bool schemaAlways = true;  // else only where the policy could make a schema finding stop it
  bool live = false;         // checks again and again: records too are kept between checks
};

// Where a check of a layout looks, before anything but the policy file is read.
struct ResolvedLayout {
  ChosenPolicy policy;
  std::optional<std::string> problem;  // why the policy cannot be applied
  std::vector<std::string> folders;    // where images are looked for
  std::vector<std::string> found;      // the images the layout names, where found
  std::vector<std::string> missing;    // the names found in none of the folders
};

// One check of one version of a layout.
struct CheckedLayout {
  std::uint64_t version = 0;  // the session's count of its checks
  std::string path;
  std::unique_ptr<LayoutDocument> document;
  ChosenPolicy policy;                 // as applied
  std::optional<std::string> problem;  // why the policy cannot be applied: nothing was checked
  std::vector<std::string> folders;    // where images were looked for; none when given
  LintReport report;
  // The files the verdict depends on, as make's prerequisites and a watcher need them: the
  // layout, the policy file read, and each image read, in that order.
  std::vector<std::string> Dependencies() const;
};

class CheckSession {
 public:
  explicit CheckSession(CheckRequest request) : request_(std::move(request)) {
    cache_.SetKeepsRecords(request_.records && request_.live);
  }
  // Checks text, the layout at path, with the images given, or when none are, those the
  // layout names, found as build finds them: in the command line's folders, else the policy
  // file's, else the layout's own.
  CheckedLayout Check(const std::string& path, std::string text,
                      const std::vector<std::string>& images = {});
  // The policy of the layout at path, and where the images document names are: the one rule
  // Check follows, for a surface that reads no image (refs --depfile).
  ResolvedLayout Resolve(const std::string& path, const LayoutDocument& document) const;
  // The request every check applies.
  const CheckRequest& Request() const { return request_; }

 private:
  CheckRequest request_;
  ImageCache cache_;
  std::uint64_t version_ = 0;
};

// The package the packager builds from checked, in memory: a check that kept the images'
// records (CheckRequest::records) and found no error; the records are taken from it.
std::string BuildInMemory(CheckedLayout& checked);

// What lint reports of document, read from layoutPath, and the images at imagePaths (what
// learn asks learnt of each), under policy and the layout's inline suppressions; the schema
// check only when schema says so; images as they were when cache last read them are not
// read again.
LintReport MakeLintReport(const std::string& layoutPath, const LayoutDocument& document,
                          const std::vector<std::string>& imagePaths, References references,
                          Learn learn, const Policy& policy, bool schema = true,
                          ImageCache* cache = nullptr);

// Whether policy could make a schema finding stop a run: strict, or one of them denied.
bool SchemaCouldStop(const Policy& policy);

}  // namespace vantu::branding_package
