// diff on packages in memory: what differs, and what must never read as "the same".
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "inspect/commands/commands.h"
#include "test_support.h"

namespace bp = vantu::branding_package;
using testing_support::ImageRecordBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PackageBytes;
using testing_support::PngBytes;

namespace {

// Memory whose reads of more than the header fail, as a file whose disk fails would.
class FailingSource : public bp::MemorySource {
 public:
  using bp::MemorySource::MemorySource;
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override {
    return size <= 16 && bp::MemorySource::ReadAt(offset, out, size);
  }
};

struct Diffed {
  int status;
  std::string out;
  std::string err;
};

Diffed Diff(bp::ByteSource& a, bp::ByteSource& b) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = bp::DiffPackages(a, "a.pkg", b, "b.pkg", out, err);
  return {status, out.str(), err.str()};
}

std::string Layout(const std::string& about) {
  return "<vantu-client-branding><app-icon>i.png</app-icon><about title=\"t\">" + about +
         "</about></vantu-client-branding>";
}

// Two unreadable packages are a fault, not two equal empty digests.
TEST(Diff, AReadFailureIsAFaultNeverTheSame) {
  const std::string package = PackageBytes({LayoutRecordBytes(Layout(""))});
  FailingSource a(package);
  FailingSource b(package);
  const Diffed diffed = Diff(a, b);
  EXPECT_EQ(diffed.status, 2);
  EXPECT_EQ(diffed.out, "");
}

// Two changed lines among thousands are two '-' and two '+' (far apart, so compared as
// multisets: every '-' first), each under its own path; a path deeper than twelve elements
// shows its first four and last eight.
TEST(Diff, ShowsOnlyWhatChangedWithReadablePaths) {
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += "<line><text>" + std::to_string(i) + "</text></line>";
  std::string deep = "<x>old</x>";
  for (int i = 0; i < 20; ++i) deep = "<d>" + deep + "</d>";
  std::string changed = lines;
  changed.replace(changed.find(">2500<"), 6, ">two<");
  const std::string a = PackageBytes({LayoutRecordBytes(Layout(lines + deep))});
  std::string newDeep = deep;
  newDeep.replace(newDeep.find("old"), 3, "new");
  // A second top-level element is kept by the packager, and compared.
  const std::string b =
      PackageBytes({LayoutRecordBytes(Layout(changed + newDeep) + "<extra>x</extra>")});
  bp::MemorySource first(a);
  bp::MemorySource second(b);
  const Diffed diffed = Diff(first, second);
  EXPECT_EQ(diffed.status, static_cast<int>(bp::Status::kDiffer));
  const std::string deepPath = "/vantu-client-branding/about/d/d/...(11 more)/d/d/d/d/d/d/d/x";
  EXPECT_EQ(diffed.out,
            "--- a.pkg\n+++ b.pkg\nlayout:\n"
            "-/vantu-client-branding/about/line[2501]/text = \"2500\"\n"
            "-" +
                deepPath +
                " = \"old\"\n"
                "+/vantu-client-branding/about/line[2501]/text = \"two\"\n"
                "+" +
                deepPath + " = \"new\"\n+/extra = \"x\"\n");
}

// What a stored layout names reaches the terminal escaped, attribute names included, and the
// output grows with the package, not its square: a long name is cut in every path under it.
TEST(Diff, HostileNamesPrintEscapedAndBounded) {
  const std::string longName(20000, 'n');
  std::string children;
  for (int i = 0; i < 2000; ++i) children += "<c" + std::to_string(i) + "/>";
  const std::string a = PackageBytes({LayoutRecordBytes(Layout(""))});
  const std::string b =
      PackageBytes({LayoutRecordBytes(Layout("<line a\x1b]0;PWNED\x07"
                                             "b=\"x\" c\xC2\x9B"
                                             "1m=\"y\"/><" +
                                             longName + ">" + children + "</" + longName + ">"))});
  bp::MemorySource first(a);
  bp::MemorySource second(b);
  const Diffed diffed = Diff(first, second);
  EXPECT_NE(diffed.out.find("/line/@a\\x1b]0;PWNED\\x07b = \"x\""), std::string::npos)
      << diffed.out.substr(0, 400);
  EXPECT_NE(diffed.out.find("/line/@c\\xc2\\x9b1m = \"y\""), std::string::npos);
  EXPECT_EQ(diffed.out.find('\x1b'), std::string::npos);
  EXPECT_NE(diffed.out.find("/" + std::string(48, 'n') + "...(20000 bytes)/c1999\n"),
            std::string::npos);
  std::istringstream lines(diffed.out);
  for (std::string line; std::getline(lines, line);) EXPECT_LT(line.size(), 1200u);
}

// An image with the same name, size and format but other bytes is changed ('~'); one with
// the same content under another name is renamed ('>'), not removed and added.
TEST(Diff, SameSizeOtherBytesIsAChange) {
  std::string other = PngBytes(200);
  other[150] = static_cast<char>(other[150] ^ 1);
  const std::string layout = LayoutRecordBytes(Layout(""));
  const std::string a = PackageBytes({layout, ImageRecordBytes("i.png", 0, PngBytes(200)),
                                      ImageRecordBytes("old.png", 0, PngBytes(300))});
  const std::string b = PackageBytes(
      {layout, ImageRecordBytes("i.png", 0, other), ImageRecordBytes("new.png", 0, PngBytes(300))});
  bp::MemorySource first(a);
  bp::MemorySource second(b);
  const Diffed diffed = Diff(first, second);
  EXPECT_EQ(diffed.status, static_cast<int>(bp::Status::kDiffer));
  EXPECT_NE(diffed.out.find("images:\n~i.png: PNG, 2x1 pixels, 200 bytes, sha256 "),
            std::string::npos)
      << diffed.out;
  EXPECT_NE(diffed.out.find("\n>old.png -> new.png (renamed): PNG, 2x1 pixels, 300 bytes"),
            std::string::npos)
      << diffed.out;
  EXPECT_EQ(diffed.out.find("+new.png"), std::string::npos) << diffed.out;
}

}  // namespace
