// Arbitrary bytes as a package, from memory, through list, verify and extract's checks.
#include <cstddef>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "inspect/commands/commands.h"
#include "inspect/commands/preview_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  bp::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  std::ostringstream sink;
  const int listed = bp::ListPackage(source, "p", {true, true}, sink, sink);
  const int verified = bp::VerifyPackage(source, "p", bp::VerifyOptions{}, sink, sink);
  fuzz_support::Check(listed >= 0 && listed <= 8 && verified >= 0 && verified <= 8);
  // A package whose structure is sound lists cleanly; verify may find more.
  fuzz_support::Check(verified == 0 ? listed == 0 : true);

  // A sound package's preview page never carries a script, whatever its layout says.
  const bp::PackageContents contents = bp::ReadPackageContents(source, bp::FileDigest::kSkip);
  if (verified == 0) {
    const std::string page =
        bp::RenderPreviewPage(bp::ReadPreviewModel(bp::LayoutDocument(contents.layoutText)),
                              {"p", size, "", true, {}, {}, {}});
    fuzz_support::Check(page.find("<script") == std::string::npos);
  }

  // Every name extract would write is one plain file name inside its directory.
  std::set<std::string> names;
  if (!bp::PlanExtraction(contents, names)) {
    fuzz_support::Check(listed == 0);
    for (const std::string& name : names) {
      fuzz_support::Check(!name.empty() && name != "." && name != ".." &&
                          name.find_first_of("/\\") == std::string::npos &&
                          name.find('\0') == std::string::npos);
    }
  }
  return 0;
}
