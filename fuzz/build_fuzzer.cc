// A whole build in memory from arbitrary layouts and images; every package built must pass
// verify, and its digest is taken.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "base/bp_exception.h"
#include "digest/sha256.h"
#include "fuzz_support.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "package/file_writer.h"
#include "package/records.h"
#include "package/write_package.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  static const char* const kNames[] = {"icon.png", "logo.jpg", "b\\icon.png", "logo.png"};
  FuzzedDataProvider provider(data, size);
  const std::size_t imageCount = provider.ConsumeIntegralInRange<std::size_t>(0, 3);
  std::vector<std::pair<std::string, std::string>> images;
  for (std::size_t i = 0; i < imageCount; ++i) {
    std::string content = provider.ConsumeBool() ? "\x89PNG\r\n\x1a\n" : "\xFF\xD8\xFF";
    content += provider.ConsumeRandomLengthString(64);
    images.emplace_back(std::string("dir/") + provider.PickValueInArray(kNames), content);
  }
  const std::string layout = provider.ConsumeRemainingBytesAsString();

  cBP_FILE_WRITER writer("unused.bin");
  try {
    writer.AddLayout(vantu::branding_package::LayoutDocument(layout), "layout.xml");
    for (const auto& [path, content] : images) {
      bp::MemorySource source(content);
      writer.AddImage(source, path);
    }
    writer.CheckReferences();
  } catch (const cBP_EXCEPTION& e) {
    fuzz_support::Check(e.code <= -502 && e.code >= -506);
    return 0;
  }
  const std::string package = bp::EncodePackage(writer.components);
  bp::MemorySource source(package);
  std::ostringstream sink;
  const int verified = bp::VerifyPackage(source, "p", bp::VerifyOptions{}, sink, sink);
  // The packager's contract lets through content a client cannot show (4), names extract
  // refuses (8) and text that is not UTF-8; the structure, the rules and the references
  // it checked itself must hold.
  const bool allowed = verified == 0 || verified == 4 || verified == 8 ||
                       (verified == 5 && sink.str().find("is not UTF-8") != std::string::npos);
  if (!allowed) {
    std::fprintf(stderr, "%s", sink.str().c_str());
    fuzz_support::Check(false);
  }
  const auto hash = bp::Sha256Hex(source);
  fuzz_support::Check(hash.has_value() && hash->size() == 64);
  return 0;
}
