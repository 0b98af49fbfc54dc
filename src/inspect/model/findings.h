// The catalogue of everything the companion can find, and one finding as reported.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inspect/model/tool_table.h"

namespace vantu::branding_package {

// How much a finding weighs, the same in every command.
enum class Severity {
  kError,    // the client cannot use it, or the packager would refuse it
  kWarning,  // the client will show something other than meant (an error under --strict)
  kNote      // worth knowing; never fails a run
};

// Each entry of the catalogue, in its order: how the code names a kind, so that a misspelt
// one does not compile and none is looked up by its text.
enum class FindingId {
  kLayoutSyntax,
  kLayoutRule,
  kSchema,
  kSchemaCapped,
  kSchemaSkipped,
  kEntityDeclaration,
  kDeclaredEncoding,
  kNotUtf8,
  kEmptyText,
  kLinkUrl,
  kReferencePath,
  kMissingImage,
  kUnreferencedImage,
  kImageUnreadable,
  kImageFormat,
  kImageDecode,
  kImageExtension,
  kImageShownSmaller,
  kImageNameRefused,
  kImageNameControl,
  kImageNameShared,
  kSuppression,
  kSuppressionUnused,
  kDigest,
  // Faults, not findings: what stops a package's reading, reported as the run's fault with its
  // offset and never raised as a finding; --explain explains them, --allow and --deny refuse
  // them, and a SARIF log has no rule for them.
  kPackageUnreadable,
  kPackageStructure,
  kLayoutUnreadable,
  kPolicyUnusable,
};

// One entry of the catalogue.
struct FindingKind {
  FindingId which;          // its place in the catalogue
  const char* id;           // stable identifier, as --explain, --allow and reports name it
  Severity severity;        // the same wherever it is found
  Status status;            // the exit status it stands for when it counts
  const char* title;        // one line
  std::string explanation;  // what it means and what to do
  bool fromSchema = false;  // the schema check's: found only where that check runs
};

// The catalogue, in the order the README lists it.
const std::vector<FindingKind>& FindingCatalogue();

// The entry called id, or null.
const FindingKind* FindFindingKind(std::string_view id);

// The entry of id.
const FindingKind& Kind(FindingId id);

// Whether kind is one of the faults at the end of the catalogue.
inline bool IsFault(const FindingKind& kind) { return kind.which >= FindingId::kPackageUnreadable; }

// The catalogue as a Markdown table (id, severity, status, what it means), as the README
// shows it.
std::string CatalogueTable();

// One entry for a person: "ID: SEVERITY, exit status N", its title, then its explanation,
// lines of at most 78 bytes.
std::string Explanation(const FindingKind& kind);

// Every entry as Explanation writes it, a blank line between: the catalogue for a terminal.
std::string CatalogueText();

// The severity's word: "error", "warning" or "note".
const char* SeverityName(Severity severity);

// No place in a layout's text.
constexpr std::size_t kNoPlace = static_cast<std::size_t>(-1);

// One change of a layout's text: what replaces the bytes from begin to end.
struct Edit {
  std::size_t begin;
  std::size_t end;
  std::string newText;
};

// A certain fix of a finding, made where the fault is found: its title, its edits (in order,
// apart), and what an editor selects once they are applied (offsets in the new text), such as
// a placeholder to write over.
struct Fix {
  std::string title;
  std::vector<Edit> edits;
  std::optional<std::pair<std::size_t, std::size_t>> select;
};

// One finding: its kind, where it is (a 1-based line and column of a file, line 0 for no
// place; for a package, the byte offset too) and what exactly is wrong.
struct Finding {
  Finding(const FindingKind* kind, std::string file, int line, int column, std::uint64_t offset,
          std::string message)
      : kind(kind),
        file(std::move(file)),
        line(line),
        column(column),
        offset(offset),
        message(std::move(message)) {}

  const FindingKind* kind;
  std::string file;
  int line = 0;
  int column = 0;
  std::uint64_t offset = kNoOffset;  // in the package file, when the finding is about one
  std::string message;
  bool denied = false;        // --deny named its kind: an error whatever the catalogue says
  std::string element;        // in a layout, the path of the element it is about; else empty
  std::size_t at = kNoPlace;  // in a layout, its byte offset in the text
  // In a layout, one past the text it is about when that is not an element (a comment).
  std::size_t atEnd = kNoPlace;
  std::vector<Fix> fixes;  // what mends it, for an editor
  // Left out of the report by the policy (external) or by a comment in the layout (in source);
  // a SARIF log still records it, so marked.
  enum class Suppression { kNone, kInSource, kExternal } suppression = Suppression::kNone;
  // The catalogue's severity, or error when denied.
  Severity severity() const { return denied ? Severity::kError : kind->severity; }
};

// How a project weighs findings (--strict, --allow ID, --deny ID).
struct Policy {
  bool strict = false;            // every warning counts, still called a warning
  std::set<std::string> allowed;  // kinds left out of the report; never an error's
  std::set<std::string> denied;   // kinds reported and counted as errors
};

// "no finding ID (did you mean ...?); 'lint --explain all' lists them".
std::string UnknownFinding(std::string_view id);

// What is wrong with policy, for a person: an id not in the catalogue, an error allowed, or
// one id both allowed and denied; nothing when it can be applied.
std::optional<std::string> PolicyProblem(const Policy& policy);

// findings as policy reports them: the allowed left out (their number added to allowed; when
// suppressed is given, moved there, marked external), the denied marked.
std::vector<Finding> ApplyPolicy(std::vector<Finding> findings, const Policy& policy, int& allowed,
                                 std::vector<Finding>* suppressed = nullptr);

// The exit status of findings: that of the gravest kind among those that count (errors, and
// warnings with strict), or 0.
int StatusOf(const std::vector<Finding>& findings, bool strict);

}  // namespace vantu::branding_package
