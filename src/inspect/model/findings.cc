#include "inspect/model/findings.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/shown.h"

namespace vantu::branding_package {

namespace {

using S = Severity;
using F = Status;

}  // namespace

const std::vector<FindingKind>& FindingCatalogue() {
  // Made on first use: a table built before main could throw where nothing catches it.
  static const std::vector<FindingKind> catalogue = {
      // The layout document.
      {"layout-syntax", S::kError, F::kLayout, "the layout is not well-formed",
       "The packager's XML parser stops here (code -503); nothing is built. Fix the markup at "
       "the position given."},
      {"layout-rule", S::kError, F::kLayout, "the layout breaks one of the packager's rules",
       "The packager refuses the layout with code -506 and this message: a required element or "
       "attribute is missing, or a value is not one it takes."},
      {"schema", S::kWarning, F::kLayout, "the layout does not follow the schema",
       "The packager accepts it, but the client reads only what the schema "
       "(branding-package -d) describes: a misspelt or misplaced element is ignored, so the "
       "client shows something other than meant."},
      {"schema-capped", S::kNote, F::kLayout, "more schema findings than are shown",
       "Only the first 1,000 schema findings are listed; this one counts the rest."},
      {"schema-skipped", S::kWarning, F::kLayout, "the schema was not checked",
       "An element too wide for the schema library (more than 2,000 child nodes or 1,000 "
       "attributes), or a layout larger than 2 GiB, is not checked against the schema, so "
       "what it would find is unknown."},
      {"entity-declaration", S::kWarning, F::kLayout,
       "the DOCTYPE declares entities, attributes, elements or notations",
       "The packager ignores the DOCTYPE's declarations and does not store them: the client "
       "shows '&name;' as it is written and applies no attribute default. They are never "
       "honoured here either: the first one stops the check, and the schema is not checked."},
      {"declared-encoding", S::kWarning, F::kLayout, "an encoding other than UTF-8 is declared",
       "The package stores the text as it is, without its declaration, and the client reads "
       "UTF-8: every character outside ASCII shows wrong. Save the layout as UTF-8."},
      {"not-utf8", S::kWarning, F::kLayout, "the text is not UTF-8",
       "The client reads the stored text as UTF-8; this byte starts no UTF-8 character, so the "
       "client shows a replacement character. Save the layout as UTF-8."},
      {"empty-text", S::kWarning, F::kLayout, "a name, menu item or title is empty",
       "The packager accepts an empty app-name, about-item, quit-item or about title, and the "
       "client then shows a blank where people expect a word."},
      {"link-url", S::kWarning, F::kLayout, "a hyperlink's url is not one the client opens",
       "Only http and https URLs with a well-formed host (and port), and mailto URLs with an "
       "address, become links; anything else (another scheme, a typo such as 'htps:', a space, "
       "no host) is shown as text and does nothing when clicked. The finding says which."},
      // References between the layout and the images.
      {"missing-image", S::kError, F::kReferences, "the layout names an image that is not there",
       "The packager refuses the build with code -505: every image the layout names (app-icon, "
       "each logo) must be given, by its file name."},
      {"unreferenced-image", S::kError, F::kReferences, "an image the layout does not name",
       "The packager refuses the build with code -505: every image given must be named by the "
       "layout."},
      // Images.
      {"image-unreadable", S::kError, F::kIo, "the image cannot be read",
       "The file does not exist, cannot be opened, is not a regular file, or could not be read "
       "whole; the packager refuses it with code -504."},
      {"image-format", S::kError, F::kImage, "the image is neither PNG nor JPEG",
       "The content starts with neither signature, or disagrees with the format its record "
       "names; the packager refuses such a file with code -503, and a client cannot show it."},
      {"image-decode", S::kError, F::kImage, "the image does not decode",
       "Its data is truncated or corrupt, or decoding it would cost more memory or time than "
       "its size justifies (the bound is named); a client cannot show it."},
      {"image-extension", S::kWarning, F::kImage, "the name's extension names another format",
       "The content is PNG under a .jpg name, or JPEG under a .png name; a client that trusts "
       "the extension shows nothing."},
      {"image-shown-smaller", S::kNote, F::kImage, "an image is shown much smaller than it is",
       "The preview draws the app icon 32 pixels high, as a title bar does, and a logo at most "
       "606 pixels wide in the About box: an icon higher than that and larger than 256 pixels or "
       "not square, or a logo scaled down more than four times, loses detail or shape there. The "
       "note gives the "
       "size it is shown at; a smaller image keeps the package smaller too."},
      {"image-name-refused", S::kError, F::kRefused, "the image name cannot be a file name",
       "Empty, '.', '..', 'layout.xml', longer than 255 bytes, or holding '/' or '\\': extract "
       "refuses it, and a client that stores images by name cannot."},
      {"image-name-control", S::kWarning, F::kRefused, "the image name holds control bytes",
       "A name with line ends or escape sequences misleads every listing that shows it."},
      {"image-name-shared", S::kWarning, F::kRefused, "two different images have one name",
       "A client finds images by name, so it shows one of them wherever either is meant; "
       "extract refuses the package."},
      // What only a package can show.
      {"package-unreadable", S::kError, F::kIo, "the package cannot be read",
       "The file does not exist, cannot be opened, is not a regular file, or a read failed."},
      {"package-structure", S::kError, F::kStructure, "the package is corrupt",
       "Its sizes, constants, record order or strings are not what the packager writes; "
       "nothing after the offset given is read."},
      {"digest", S::kError, F::kDigest, "the SHA-256 is not the one expected",
       "The file is not the package whose hash was given: rebuild it or find the right one."},
  };
  return catalogue;
}

const FindingKind* FindFindingKind(std::string_view id) {
  const auto it = std::find_if(FindingCatalogue().begin(), FindingCatalogue().end(),
                               [&](const FindingKind& kind) { return id == kind.id; });
  return it == FindingCatalogue().end() ? nullptr : &*it;
}

const FindingKind& Kind(std::string_view id) {
  const FindingKind* kind = FindFindingKind(id);
  // Every id the code names is one of the catalogue's; a test checks each one.
  if (kind == nullptr) throw std::logic_error("no finding kind " + std::string(id));
  return *kind;
}

std::string CatalogueTable() {
  std::string table =
      "| Id | Severity | Status | Finding | What it means |\n|---|---|---|---|---|\n";
  for (const FindingKind& kind : FindingCatalogue()) {
    table += std::string("| `") + kind.id + "` | " + SeverityName(kind.severity) + " | " +
             std::to_string(static_cast<int>(kind.status)) + " | " + kind.title + " | " +
             kind.explanation + " |\n";
  }
  return table;
}

std::string Explanation(const FindingKind& kind) {
  return std::string(kind.id) + ": " + SeverityName(kind.severity) + ", exit status " +
         std::to_string(static_cast<int>(kind.status)) + "\n" + kind.title + ".\n\n" +
         kind.explanation + "\n";
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "error";
}

std::optional<std::string> PolicyProblem(const Policy& policy) {
  for (const std::set<std::string>* ids : {&policy.allowed, &policy.denied}) {
    for (const std::string& id : *ids) {
      if (FindFindingKind(id) == nullptr) {
        return "no finding " + Shown(id) + "; 'lint --explain all' lists them";
      }
    }
  }
  for (const std::string& id : policy.allowed) {
    if (Kind(id).severity == Severity::kError) {
      return id + " is an error and cannot be allowed: the packager or a client fails on it";
    }
    if (policy.denied.count(id) != 0) return id + " is both allowed and denied";
  }
  return std::nullopt;
}

std::vector<Finding> ApplyPolicy(std::vector<Finding> findings, const Policy& policy,
                                 int& allowed) {
  std::vector<Finding> kept;
  kept.reserve(findings.size());
  for (Finding& f : findings) {
    if (policy.allowed.count(f.kind->id) != 0) {
      ++allowed;
      continue;
    }
    f.denied = policy.denied.count(f.kind->id) != 0;
    kept.push_back(std::move(f));
  }
  return kept;
}

int StatusOf(const std::vector<Finding>& findings, bool strict) {
  int status = 0;
  for (const Finding& f : findings) {
    const bool counts =
        f.severity() == Severity::kError || (strict && f.severity() == Severity::kWarning);
    const int kind = static_cast<int>(f.kind->status);
    if (counts && (status == 0 || kind < status)) status = kind;
  }
  return status;
}

}  // namespace vantu::branding_package
