// Arbitrary bytes as a package file through list, verify and extract.
#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "inspect/commands.h"

namespace {

// Entries of dir, "." and ".." aside.
int CountEntries(const std::string& dir) {
  int count = 0;
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(dir, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  const std::string& scratch = fuzz_support::ScratchDir();
  const std::string package = scratch + "/p.pkg";
  const std::string out = scratch + "/out";
  std::FILE* file = std::fopen(package.c_str(), "wb");
  fuzz_support::Check(file != nullptr);
  fuzz_support::Check(size == 0 || std::fwrite(data, 1, size, file) == size);
  fuzz_support::Check(std::fclose(file) == 0);

  std::ostringstream sink;
  const int listed = bp::ListPackage(package, true, true, sink, sink);
  const int verified = bp::VerifyPackage(package, std::nullopt, sink, sink);
  fuzz_support::Check(listed >= 0 && listed <= 8 && verified >= 0 && verified <= 8);
  // A package whose structure is sound lists cleanly; verify may find more.
  fuzz_support::Check(verified == 0 ? listed == 0 : true);

  std::error_code ignored;
  std::filesystem::remove_all(out, ignored);
  const int extracted = bp::ExtractPackage(package, out, false, sink, sink);
  // Nothing lands beside the package, and a refused package leaves the directory empty.
  fuzz_support::Check(CountEntries(scratch) <= 2);
  if (extracted != 0) fuzz_support::Check(CountEntries(out) == 0);
  return 0;
}
