#include "inspect/model/findings.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/nearest.h"
#include "base/shown.h"
#include "inspect/model/checks.h"
#include "inspect/model/schema_check.h"
#include "package/extract_names.h"

namespace vantu::branding_package {

namespace {

// n with a comma every three digits, as the prose writes numbers.
std::string Thousands(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return digits;
}

// The catalogue, checked to stand in FindingId's order.
std::vector<FindingKind> InOrder(std::vector<FindingKind> catalogue) {
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    if (static_cast<std::size_t>(catalogue[i].which) != i) {
      throw std::logic_error(std::string("catalogue out of order at ") + catalogue[i].id);
    }
  }
  return catalogue;
}

}  // namespace

const std::vector<FindingKind>& FindingCatalogue() {
  // Made on first use: a table built before main could throw where nothing catches it.
  static const std::vector<FindingKind> catalogue = InOrder({
      // The layout document.
      {FindingId::kLayoutSyntax, "layout-syntax", Severity::kError, Status::kLayout,
       "the layout is not well-formed",
       "The packager's XML parser stops here (code -503); nothing is built. Fix the markup at "
       "the position given."},
      {FindingId::kLayoutRule, "layout-rule", Severity::kError, Status::kLayout,
       "the layout breaks one of the packager's rules",
       "The packager refuses the layout with code -506 and this message: a required element or "
       "attribute is missing, or a value is not one it takes."},
      {FindingId::kSchema, "schema", Severity::kWarning, Status::kLayout,
       "the layout does not follow the schema",
       "The packager accepts it, but the client reads only what the schema "
       "(branding-package -d) describes: a misspelt or misplaced element is ignored, so the "
       "client shows something other than meant.",
       true},
      {FindingId::kSchemaCapped, "schema-capped", Severity::kNote, Status::kLayout,
       "more schema findings than are shown",
       "Only the first " + Thousands(kMaxSchemaFindings) +
           " schema findings are listed; this one counts the rest.",
       true},
      {FindingId::kSchemaSkipped, "schema-skipped", Severity::kWarning, Status::kLayout,
       "the schema was not checked",
       "An element too wide for the schema library (more than " + Thousands(kMaxCheckedChildren) +
           " child nodes or " + Thousands(kMaxCheckedAttributes) +
           " attributes), or a layout larger than " + std::to_string((kMaxCheckedText + 1) >> 30) +
           " GiB, is not checked against the schema, so what it would find is unknown.",
       true},
      {FindingId::kEntityDeclaration, "entity-declaration", Severity::kWarning, Status::kLayout,
       "the DOCTYPE declares entities, attributes, elements or notations",
       "The packager ignores the DOCTYPE's declarations and does not store them: the client "
       "shows '&name;' as it is written and applies no attribute default. They are never "
       "honoured here either: the first one stops the check, and the schema is not checked.",
       true},
      {FindingId::kDeclaredEncoding, "declared-encoding", Severity::kWarning, Status::kLayout,
       "an encoding other than UTF-8 is declared",
       "The package stores the text as it is, without its declaration, and the client reads "
       "UTF-8: every character outside ASCII shows wrong. Save the layout as UTF-8."},
      {FindingId::kNotUtf8, "not-utf8", Severity::kWarning, Status::kLayout,
       "the text is not UTF-8",
       "The client reads the stored text as UTF-8; this byte starts no UTF-8 character, so the "
       "client shows a replacement character. Save the layout as UTF-8."},
      {FindingId::kEmptyText, "empty-text", Severity::kWarning, Status::kLayout,
       "a name, menu item or title is empty",
       "The packager accepts an empty app-name, about-item, quit-item or about title, and the "
       "client then shows a blank where people expect a word."},
      {FindingId::kLinkUrl, "link-url", Severity::kWarning, Status::kLayout,
       "a hyperlink's url is not one the client opens",
       "Only http and https URLs with a well-formed host (and port), and mailto URLs with an "
       "address, become links; anything else (another scheme, a typo such as 'htps:', a space, "
       "no host) is shown as text and does nothing when clicked. The finding says which."},
      // References between the layout and the images.
      {FindingId::kReferencePath, "reference-path", Severity::kError, Status::kReferences,
       "an image reference holds a folder",
       "The packager and the client match images by file name alone, the part after the last "
       "'/' or '\\', so a reference such as 'icons/app.png' never matches an image and the "
       "build is refused with code -505. Name the file alone and give its folder to the build "
       "(--dir)."},
      {FindingId::kMissingImage, "missing-image", Severity::kError, Status::kReferences,
       "the layout names an image that is not there",
       "The packager refuses the build with code -505: every image the layout names (app-icon, "
       "each logo) must be given, by its file name."},
      {FindingId::kUnreferencedImage, "unreferenced-image", Severity::kError, Status::kReferences,
       "an image the layout does not name",
       "The packager refuses the build with code -505: every image given must be named by the "
       "layout."},
      // Images.
      {FindingId::kImageUnreadable, "image-unreadable", Severity::kError, Status::kIo,
       "the image cannot be read",
       "The file does not exist, cannot be opened, is not a regular file, or could not be read "
       "whole; the packager refuses it with code -504."},
      {FindingId::kImageFormat, "image-format", Severity::kError, Status::kImage,
       "the image is neither PNG nor JPEG",
       "The content starts with neither signature, or disagrees with the format its record "
       "names; the packager refuses such a file with code -503, and a client cannot show it."},
      {FindingId::kImageDecode, "image-decode", Severity::kError, Status::kImage,
       "the image does not decode",
       "Its data is truncated or corrupt, or decoding it would cost more memory or time than "
       "its size justifies (the bound is named); a client cannot show it."},
      {FindingId::kImageExtension, "image-extension", Severity::kWarning, Status::kImage,
       "the name's extension names another format",
       "The content is PNG under a .jpg name, or JPEG under a .png name; a client that trusts "
       "the extension shows nothing."},
      {FindingId::kImageShownSmaller, "image-shown-smaller", Severity::kNote, Status::kImage,
       "an image is shown much smaller than it is",
       "The preview draws the app icon " + std::to_string(kIconShownHeight) +
           " pixels high, as a title bar does, and a logo at most " +
           std::to_string(kLogoShownWidth) +
           " pixels wide in the About box: an icon higher than that and larger than " +
           std::to_string(kIconLargest) +
           " pixels or not square, or a logo scaled down more than " +
           std::to_string(kLogoMostScaled) +
           " times, loses detail or shape there. The note gives the size it is shown at; a "
           "smaller image keeps the package smaller too."},
      {FindingId::kImageNameRefused, "image-name-refused", Severity::kError, Status::kRefused,
       "the image name cannot be a file name",
       "Empty, '.', '..', 'layout.xml', longer than " + std::to_string(kMaxFileName) +
           " bytes, or holding '/' or '\\': extract refuses it, and a client that stores images "
           "by name cannot."},
      {FindingId::kImageNameControl, "image-name-control", Severity::kWarning, Status::kRefused,
       "the image name holds control bytes",
       "A name with line ends or escape sequences misleads every listing that shows it."},
      {FindingId::kImageNameShared, "image-name-shared", Severity::kWarning, Status::kRefused,
       "two different images have one name",
       "A client finds images by name, so it shows one of them wherever either is meant; "
       "extract refuses the package."},
      // The project's own policy.
      {FindingId::kSuppression, "suppression", Severity::kError, Status::kLayout,
       "an inline suppression that cannot be applied",
       "A comment '<!-- branding-lint: allow ID[, ID] -->' just before an element leaves those "
       "findings about the element, and what it holds, out of the report. This one names a "
       "finding that does not exist or is an error, or stands before no element."},
      {FindingId::kSuppressionUnused, "suppression-unused", Severity::kNote, Status::kLayout,
       "an inline suppression that allows nothing",
       "No finding the comment names is in the element after it, or in what that element holds: "
       "it is left from a fault since mended, or names another id than meant. Remove it, lest it "
       "hide that finding when it comes back."},
      // What only a package can show.
      {FindingId::kDigest, "digest", Severity::kError, Status::kDigest,
       "the SHA-256 is not the one expected",
       "The file is not the package whose hash was given: rebuild it or find the right one."},
      // The faults.
      {FindingId::kPackageUnreadable, "package-unreadable", Severity::kError, Status::kIo,
       "the package cannot be read",
       "A fault, not a finding: the file does not exist, cannot be opened, is not a regular "
       "file, or a read failed. The run reports it with the offset where the read failed and "
       "stops; no policy changes that."},
      {FindingId::kPackageStructure, "package-structure", Severity::kError, Status::kStructure,
       "the package is corrupt",
       "A fault, not a finding: its sizes, constants, record order or strings are not what the "
       "packager writes. The run reports it with its offset and reads nothing after it; no "
       "policy changes that."},
      {FindingId::kLayoutUnreadable, "layout-unreadable", Severity::kError, Status::kIo,
       "the layout cannot be read",
       "A fault, not a finding: the layout file does not exist, cannot be opened, is not a "
       "regular file, is too large for a package, or a read failed; nothing is checked."},
      {FindingId::kPolicyUnusable, "policy-unusable", Severity::kError, Status::kUsage,
       "the policy file cannot be applied",
       "A fault, not a finding: the policy file found for the input, or named with --config, "
       "cannot be read, says what is not known, names a dir outside the tree it was found in, "
       "or could have been written by another user (owned by one but root, or writable by "
       "others by its mode or ACL, or in such a folder), as git refuses a repository another "
       "user owns; nothing is checked. Trust its folder in ~/.config/branding-package/trust or "
       "BRANDING_PACKAGE_TRUST, or name a policy with --config."},
  });
  return catalogue;
}

const FindingKind* FindFindingKind(std::string_view id) {
  const auto it = std::find_if(FindingCatalogue().begin(), FindingCatalogue().end(),
                               [&](const FindingKind& kind) { return id == kind.id; });
  return it == FindingCatalogue().end() ? nullptr : &*it;
}

const FindingKind& Kind(FindingId id) { return FindingCatalogue()[static_cast<std::size_t>(id)]; }

namespace {

// "fault" for a fault, else the severity's word.
const char* SeverityWord(const FindingKind& kind) {
  return IsFault(kind) ? "fault" : SeverityName(kind.severity);
}

}  // namespace

std::string CatalogueTable() {
  std::string table =
      "| Id | Severity | Status | Finding | What it means |\n|---|---|---|---|---|\n";
  for (const FindingKind& kind : FindingCatalogue()) {
    table += std::string("| `") + kind.id + "` | " + SeverityWord(kind) + " | " +
             std::to_string(static_cast<int>(kind.status)) + " | " + kind.title + " | " +
             kind.explanation + " |\n";
  }
  return table;
}

namespace {

// text broken at spaces into lines of at most width bytes (a longer word stands alone).
std::string Wrapped(const std::string& text, std::size_t width) {
  std::string wrapped;
  std::size_t lineStart = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    if (wrapped.size() > lineStart && wrapped.size() - lineStart + 1 + (end - at) > width) {
      wrapped += '\n';
      lineStart = wrapped.size();
    } else if (wrapped.size() > lineStart) {
      wrapped += ' ';
    }
    wrapped.append(text, at, end - at);
    at = end + 1;
  }
  return wrapped;
}

}  // namespace

std::string Explanation(const FindingKind& kind) {
  return std::string(kind.id) + ": " + SeverityWord(kind) + ", exit status " +
         std::to_string(static_cast<int>(kind.status)) + "\n" + kind.title + ".\n\n" +
         Wrapped(kind.explanation, 78) + "\n";
}

std::string CatalogueText() {
  std::string text;
  for (const FindingKind& kind : FindingCatalogue()) {
    text += (text.empty() ? "" : "\n") + Explanation(kind);
  }
  return text;
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

std::string UnknownFinding(std::string_view id) {
  std::vector<std::string> ids;
  for (const FindingKind& kind : FindingCatalogue()) ids.emplace_back(kind.id);
  return "no finding " + Shown(id) + DidYouMean(id, ids) + "; 'lint --explain all' lists them";
}

std::optional<std::string> PolicyProblem(const Policy& policy) {
  for (const std::set<std::string>* ids : {&policy.allowed, &policy.denied}) {
    for (const std::string& id : *ids) {
      if (FindFindingKind(id) == nullptr) return UnknownFinding(id);
    }
  }
  for (const std::set<std::string>* ids : {&policy.allowed, &policy.denied}) {
    for (const std::string& id : *ids) {
      if (IsFault(*FindFindingKind(id))) {
        return id + " is a fault, not a finding: it stops the reading, whatever the policy";
      }
    }
  }
  for (const std::string& id : policy.allowed) {
    if (FindFindingKind(id)->severity == Severity::kError) {
      return id + " is an error and cannot be allowed: the packager or a client fails on it";
    }
    if (policy.denied.count(id) != 0) return id + " is both allowed and denied";
  }
  return std::nullopt;
}

std::vector<Finding> ApplyPolicy(std::vector<Finding> findings, const Policy& policy, int& allowed,
                                 std::vector<Finding>* suppressed) {
  // One level for one result: a finding the layout's comments left out is still denied.
  if (suppressed != nullptr) {
    for (Finding& f : *suppressed) f.denied = policy.denied.count(f.kind->id) != 0;
  }
  std::vector<Finding> kept;
  kept.reserve(findings.size());
  for (Finding& f : findings) {
    if (policy.allowed.count(f.kind->id) != 0) {
      ++allowed;
      if (suppressed != nullptr) {
        f.suppression = Finding::Suppression::kExternal;
        suppressed->push_back(std::move(f));
      }
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
