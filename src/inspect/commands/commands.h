// The inspect tool's subcommands; each returns the process exit status.
#pragma once

#include <iosfwd>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "base/byte_source.h"
#include "base/file_system.h"
#include "inspect/commands/preview_page.h"
#include "inspect/commands/report.h"
#include "inspect/model/check_session.h"
#include "inspect/model/checks.h"
#include "inspect/model/package_contents.h"
#include "package/package_walker.h"

namespace vantu::branding_package {

// How list shows a package.
struct ListOptions {
  bool json = false;        // one JSON object instead of a table
  bool withLayout = false;  // the layout text too
};

// The header and every record; stops at the first structural fault, which decides the exit
// status.
int ListPackage(const std::string& path, const ListOptions& options, std::ostream& out,
                std::ostream& err);
// The same on a package in source; path names it in the output.
int ListPackage(ByteSource& source, const std::string& path, const ListOptions& options,
                std::ostream& out, std::ostream& err);

// How verify checks and reports.
struct VerifyOptions {
  std::optional<std::string> sha256;  // the digest the file must have
  bool json = false;                  // one JSON object instead of text
  Policy policy;                      // --strict, --allow, --deny
};

// Checks everything a client and extract rely on, with the same findings lint reports of
// the layout and images; a corrupt package gets its first fault.
int VerifyPackage(const std::string& path, const VerifyOptions& options, std::ostream& out,
                  std::ostream& err);
// The same on a package in source; path names it in the output.
int VerifyPackage(ByteSource& source, const std::string& path, const VerifyOptions& options,
                  std::ostream& out, std::ostream& err);
// Whether the package at packagePath is the one the layout at layoutPath and its images
// build, byte for byte: built in memory through a check session as build checks (request's
// policy and folders), compared record by record, the first that differs named (status 7);
// a layout that cannot build gets lint's findings and status.
int VerifyBuilt(const std::string& packagePath, const std::string& layoutPath,
                const CheckRequest& request, bool json, std::ostream& out, std::ostream& err);

// What extract checks of a package's contents before writing anything: a sound structure,
// every image name safe to use as a file name, one content per name. names gets layout.xml
// and every image name.
std::optional<Fault> PlanExtraction(const PackageContents& contents, std::set<std::string>& names);

// What extract does with a file already in the way.
enum class Existing {
  kRefuse,  // refuses the extraction
  kReplace  // replaces it (--force); never a directory, never the package
};

// Extract's last step: moves every file named in names from staging into dir with signals
// held, all or nothing: on any failure every file already moved or replaced is put back as
// it was. Without force nothing is replaced, not even a file that appeared since the check;
// with it, a directory or the package is never replaced.
// staging and dir are open folders; dirName names dir in messages.
std::optional<Fault> PlaceExtracted(int staging, int dir, const std::string& dirName,
                                    const std::set<std::string>& names, Existing existing,
                                    const FileId& package, FileSystem& fs = RealFileSystem());

// Writes dir/layout.xml and every image under its stored name, all or nothing; existing
// files are replaced only with force.
int ExtractPackage(const std::string& path, const std::string& dir, Existing existing,
                   std::ostream& out, std::ostream& err);
// The same from source, the file package (never replaced); path names it in messages. A
// source whose bytes change between the passes is refused with nothing written.
int ExtractPackage(ByteSource& source, const FileId& package, const std::string& path,
                   const std::string& dir, Existing existing, std::ostream& out, std::ostream& err,
                   FileSystem& fs = RealFileSystem());

// How lint writes its report.
enum class LintFormat {
  kText,   // one line a finding, then the images and the counts
  kJson,   // one JSON object
  kSarif,  // one SARIF 2.1.0 log, for code-scanning services and editors
  kGithub  // one GitHub Actions workflow command a finding
};

// Prints report in format; columns are counted in bytes in text and JSON, in characters in
// SARIF and GitHub annotations, which read them so (layoutText converts them).
void PrintLintReport(std::ostream& out, const LintReport& report, LintFormat format,
                     std::string_view layoutText = {});

// How lint reports.
struct LintOptions {
  CheckRequest request;  // the policy, its file and the folders the images are found in
  LintFormat format = LintFormat::kText;
  std::optional<std::string> sarifRoot;  // SARIF's file URIs relative to it, when given
};

// A run that reports in a format, as the record of a run that failed names it.
struct FormatRun {
  const char* command;
  std::string input;
  LintFormat format = LintFormat::kText;
  std::set<std::string> denied;
  std::optional<std::string> sarifRoot;
};

// Says why a policy cannot be applied: "Error: PROBLEM" on err, and in a format for machines
// that format's record of a run that failed on out (JSON's fault, a SARIF log with a failed
// invocation, a GitHub error annotation; then on err too only when it is another stream).
// Returns the status, 1.
int ReportPolicyProblem(const std::string& problem, const FormatRun& run, std::ostream& out,
                        std::ostream& err);

// Every finding about a layout document, its images (those given, else those it names, found
// as build finds them) and the references, as "FILE:LINE:COLUMN: error|warning: message",
// then each decoded image's size and a count; 0 when nothing counts as an error (the packager
// would accept it, and a client could show it), else the status of the gravest kind; 1 when
// the policy cannot be applied.
int LintLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
               const LintOptions& options, std::ostream& out, std::ostream& err);
// The same on the layout's text, read from layoutPath.
int LintLayout(const std::string& layoutPath, std::string text,
               const std::vector<std::string>& imagePaths, const LintOptions& options,
               std::ostream& out, std::ostream& err);

// How build finds the images and reports.
struct BuildOptions {
  std::string output;                  // the package
  std::optional<std::string> depfile;  // a Make rule for the package, written with it
  LintOptions lint;                    // the policy, the image folders, the findings' format
};

// Builds the package the packager builds from the layout and the images it names, found in
// the folders (first match wins) and stored in the order the layout first names them; first
// lints them, every file read once, and stops at what counts as an error, reporting the
// findings on err. On success writes the depfile too, and prints the packager's two lines,
// "Output file: PACKAGE" and "Hash: SHA-256".
int BuildFromLayout(const std::string& layoutPath, const BuildOptions& options, std::ostream& out,
                    std::ostream& err);

// How refs prints.
struct RefsOptions {
  bool null = false;  // each name ended by a zero byte, unescaped, for xargs -0 and mapfile -d ''
  std::vector<std::string> dirs;  // when set, each name where found in them (else in the first)
  std::optional<std::string> depfile;  // when set, a Make rule for this target instead
  std::optional<std::string> output;   // when set, written to this file (whole) on success
  std::optional<std::string> config;   // --config: that policy file, not the one found
};

// The image references of a layout document, each distinct name once, one a line (control
// bytes shown C-style), in the order the layout first names them; problems of the layout go
// to err (status 5). With a depfile target, one Make rule "TARGET: LAYOUT IMAGE..." and an
// empty rule for each image (so a removed image is no error), every path escaped as make and
// ninja read it; a path neither can read the same is refused (status 8) with nothing printed.
int ListReferences(const std::string& layoutPath, const RefsOptions& options, std::ostream& out,
                   std::ostream& err);

// A layout's preview page, or why there is none.
struct LayoutPreview {
  std::optional<std::string> page;
  int status = 0;                         // when there is no page: the exit status
  std::string report;                     // when there is no page: lint's report, or the fault
  std::vector<FileId> inputs;             // the files read
  std::vector<std::string> folders;       // where the images were looked for
  std::vector<std::string> dependencies;  // the files the page depends on, as the check names them
};

// request as build checks with it: each image decoded and read into the record the packager
// stores, the schema only where the policy could make one of its findings stop the build.
CheckRequest AsBuild(CheckRequest request);

// What a preview's check session asks: the whole policy (that policy file, when config names
// one), the images' bytes kept.
CheckRequest PreviewRequest(const std::optional<std::string>& config = std::nullopt);

// The page of the layout at layoutPath with the images at imagePaths (when none, the images the
// layout names, found as build finds them), as the packager would build them, checked by
// session; none, with lint's report, when lint finds an error under the project's policy.
LayoutPreview MakeLayoutPreview(CheckSession& session, const std::string& layoutPath,
                                const std::vector<std::string>& imagePaths, PageKind kind);

// Writes outputPath, one standalone HTML page that draws the branding of a sound package as
// the client shows it, with the package's facts; a package verify faults gets verify's
// report and status, and no page.
int PreviewPackage(const std::string& path, const std::string& outputPath, std::ostream& out,
                   std::ostream& err);
// The same for a layout and its images, with the package they would make; a layout lint
// reports errors about gets lint's report (on err) and status, and no page.
int PreviewLayout(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
                  const std::optional<std::string>& config, const std::string& outputPath,
                  std::ostream& out, std::ostream& err);

// A stable text of a whole package, for git's textconv: under "layout:" each attribute and text
// of the layout a line with its element's path (as diff shows them), under "images:" each
// image with its format, pixel size, bytes and SHA-256; a package that cannot be read gets its
// fault on err and status.
int TextOfPackage(const std::string& path, std::ostream& out, std::ostream& err);
// The same on a package in source; path names it in messages.
int TextOfPackage(ByteSource& source, const std::string& path, std::ostream& out,
                  std::ostream& err);

// The differences between two packages: the layout element by element, images added,
// removed or changed; 0 when they are the same, Status::kDiffer when they differ, or the status of
// the first fault that keeps either from being read.
int DiffPackages(const std::string& before, const std::string& after, std::ostream& out,
                 std::ostream& err);
// The same on two packages in sources; before and after name them in the output.
int DiffPackages(ByteSource& a, const std::string& before, ByteSource& b, const std::string& after,
                 std::ostream& out, std::ostream& err);

}  // namespace vantu::branding_package
