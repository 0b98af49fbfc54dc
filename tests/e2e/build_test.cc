#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::RunInspect;
using testing_support::RunOptions;
using testing_support::RunTool;
using testing_support::StatusOf;
using testing_support::TempDir;
using testing_support::U32;
using testing_support::WriteFile;

// The layout text of a layout naming icon.png and logo.jpg, its app name padded so that
// the text is exactly `length` bytes.
std::string LayoutText(std::size_t length) {
  const std::string head = "<vantu-client-branding version=\"1.0\"><app-name>";
  const std::string tail =
      "</app-name><app-icon>icon.png</app-icon><toolbar-menu><about-item>About</about-item>"
      "<quit-item>Quit</quit-item></toolbar-menu><about title=\"About\"><line align=\"center\">"
      "<logo>logo.jpg</logo></line></about></vantu-client-branding>";
  return head + std::string(length - head.size() - tail.size(), 'N') + tail;
}

// The same layout as a person would write it: declaration, comment, indentation.
std::string LayoutFile(const std::string& text) {
  std::string file = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- branding -->\n";
  for (char c : text) {
    if (c == '<' && file.back() == '>') file += "\n  ";
    file += c;
  }
  return file + "\n";
}

// The SHA-256 of path as the system's own tool computes it.
std::string Sha256Sum(const std::string& path) {
  std::FILE* pipe = popen(("sha256sum '" + path + "'").c_str(), "r");
  if (pipe == nullptr) return "";
  char digest[65] = {};
  const std::size_t got = std::fread(digest, 1, 64, pipe);
  pclose(pipe);
  return std::string(digest, got);
}

// The package verifies with its printed digest and extracts back to the layout text and
// the images, byte for byte.
void ExpectRoundTrip(const std::string& package, const std::string& hash, const std::string& text,
                     const std::vector<std::pair<std::string, std::string>>& images) {
  const auto verify = testing_support::RunInspect({"verify", "--sha256", hash, package});
  EXPECT_EQ(verify.status, 0) << verify.err;
  const auto list = testing_support::RunInspect({"list", "--json", package});
  EXPECT_EQ(list.status, 0) << list.err;
  TempDir out;
  const auto extract = testing_support::RunInspect({"extract", package, out / "x"});
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(ReadFile(out / "x/layout.xml"), text);
  for (const auto& [name, bytes] : images) EXPECT_TRUE(ReadFile(out / ("x/" + name)) == bytes);
}

class Build : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "layout.xml", LayoutFile(LayoutText(300)));
    ASSERT_EQ(mkdir((dir_ / "art").c_str(), 0755), 0);
    WriteFile(dir_ / "art/icon.png", png_);
    // A file whose name holds backslashes, as a Windows path would.
    WriteFile(dir_ / "C:\\brand\\logo.jpg", jpeg_);
  }

  std::vector<std::string> Args(const std::string& output) const {
    return {"--xml-layout", dir_ / "layout.xml",          "--image",  dir_ / "art/icon.png",
            "--image",      dir_ / "C:\\brand\\logo.jpg", "--output", output};
  }

  TempDir dir_;
  const std::string png_ = PngBytes(1234);
  const std::string jpeg_ = JpegBytes(2048);
};

TEST_F(Build, WorkedExamplePackageByteForByte) {
  const std::string output = dir_ / "out.bin";
  const auto run = RunTool(Args(output));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");

  const std::string package = ReadFile(output);
  const std::string text = LayoutText(300);
  const std::string expected = U32(3693) + U32(0) + U32(1) + U32(317) + U32(1) + U32(0) + U32(301) +
                               text + '\0' + ImageRecordBytes("icon.png", 0, png_) +
                               ImageRecordBytes("logo.jpg", 2, jpeg_) + U32(8) + U32(3);
  EXPECT_EQ(package.size(), 3693u);
  EXPECT_EQ(package, expected);

  const std::string digest = Sha256Sum(output);
  ASSERT_EQ(digest.size(), 64u);
  EXPECT_EQ(run.out, "Output file: " + output + "\nHash: " + digest + "\n");
  ExpectRoundTrip(output, digest, text, {{"icon.png", png_}, {"logo.jpg", jpeg_}});

  // With standard input closed the first file opened is descriptor 0: still a file.
  RunOptions closed;
  closed.closedInput = true;
  const auto again = RunTool(Args(output), closed);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, run.out);
  const auto inspect = RunInspect({"verify", output, "--sha256", digest}, closed);
  EXPECT_EQ(inspect.status, 0) << inspect.err;
}

// An output that is the layout or an image, however the path reaches it, is refused before
// anything is written.
TEST_F(Build, OutputThatIsAnInputIsRefused) {
  ASSERT_EQ(symlink((dir_ / "layout.xml").c_str(), (dir_ / "link.xml").c_str()), 0);
  ASSERT_EQ(link((dir_ / "art/icon.png").c_str(), (dir_ / "hard.png").c_str()), 0);
  const std::string original = ReadFile(dir_ / "layout.xml");
  for (const std::string& output :
       {dir_ / "layout.xml", dir_ / "art/../layout.xml", dir_ / "link.xml", dir_ / "hard.png",
        dir_ / "C:\\brand\\logo.jpg"}) {
    const auto run = RunTool(Args(output));
    EXPECT_EQ(run.status, StatusOf(-504)) << output;
    EXPECT_EQ(run.out,
              "Error: -504\n\tOutput file is also an input, not overwriting it: " + output + "\n");
  }
  EXPECT_EQ(ReadFile(dir_ / "layout.xml"), original);
  EXPECT_TRUE(ReadFile(dir_ / "art/icon.png") == png_);
  EXPECT_TRUE(ReadFile(dir_ / "C:\\brand\\logo.jpg") == jpeg_);
}

struct Failure {
  const char* name;
  std::vector<std::string> args;  // "@" at the start of a value stands for the scratch dir
  std::string report;             // "@" likewise
  int code;
};

void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class BuildFailures : public Build, public ::testing::WithParamInterface<Failure> {};

std::string Expand(const std::string& s, const std::string& dir) {
  std::string out;
  for (char c : s) out += c == '@' ? dir : std::string(1, c);
  return out;
}

TEST_P(BuildFailures, ReportAndStatusAndNoPackage) {
  const Failure& f = GetParam();
  WriteFile(dir_ / "text.txt", "just some text\n");
  WriteFile(dir_ / "abc.xml", "abc");
  WriteFile(dir_ / "only-icon.xml",
            "<vantu-client-branding><app-name/><app-icon>icon.png</app-icon><toolbar-menu/>"
            "<about title=\"t\"/></vantu-client-branding>");
  WriteFile(dir_ / "bad-root.xml", "<vantu-client-brandinG/>");
  WriteFile(dir_ / "old.bin", "old package");
  std::vector<std::string> args;
  for (const std::string& a : f.args) args.push_back(Expand(a, dir_.path()));
  const auto run = RunTool(args);
  EXPECT_EQ(run.status, StatusOf(f.code));
  EXPECT_EQ(run.out, Expand(f.report, dir_.path()));
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(Exists(dir_ / "out.bin"));
  EXPECT_EQ(ReadFile(dir_ / "old.bin"), "old package");
}

INSTANTIATE_TEST_SUITE_P(
    Reports, BuildFailures,
    ::testing::Values(Failure{"MissingLayout",
                              {"-x", "@/none.xml", "-o", "@/out.bin"},
                              "Error: -502\n\tcannot open file @/none.xml\n",
                              -502},
                      Failure{"LayoutIsDirectory",
                              {"-x", "@", "-o", "@/out.bin"},
                              "Error: -502\n\tcannot open file @\n",
                              -502},
                      Failure{"LayoutNotXml",
                              {"-x", "@/abc.xml", "-o", "@/out.bin"},
                              "Error: -503\n\texpected <\n",
                              -503},
                      Failure{"LayoutRule",
                              {"-x", "@/bad-root.xml", "-o", "@/old.bin"},
                              "Error: -506\n\tTop node must be vantu-client-branding\n",
                              -506},
                      Failure{"MissingImage",
                              {"-x", "@/only-icon.xml", "-i", "@/no/icon.png", "-o", "@/out.bin"},
                              "Error: -504\n\tUnable to open Image file: @/no/icon.png\n",
                              -504},
                      Failure{"ImageIsDirectory",
                              {"-x", "@/only-icon.xml", "-i", "@/art", "-o", "@/out.bin"},
                              "Error: -504\n\tUnable to open Image file: @/art\n",
                              -504},
                      Failure{"TextAsImage",
                              {"-x", "@/only-icon.xml", "-i", "@/text.txt", "-o", "@/out.bin"},
                              "Error: -503\n\tInvalid Image type. Must be PNG or JPEG\n",
                              -503},
                      Failure{"NoImages",
                              {"-x", "@/layout.xml", "-o", "@/old.bin"},
                              "Error: -505\n\tNo resource found for reference: icon.png\n"
                              "No resource found for reference: logo.jpg\n\n",
                              -505},
                      Failure{"ImagesDiffer",
                              {"-x", "@/only-icon.xml", "-i", "@/art/icon.png", "-i",
                               "@/C:\\brand\\logo.jpg", "-o", "@/old.bin"},
                              "Error: -505\n\tNo reference found for resource: logo.jpg\n\n",
                              -505},
                      Failure{
                          "OutputDirectoryMissing",
                          {"-x", "@/only-icon.xml", "-i", "@/art/icon.png", "-o", "@/no/out.bin"},
                          "Error: -504\n\tUnable to open Output file: @/no/out.bin\n",
                          -504},
                      Failure{"OutputDeviceFull",
                              {"-x", "@/only-icon.xml", "-i", "@/art/icon.png", "-o", "/dev/full"},
                              "Error: -504\n\tUnable to write Output file: /dev/full\n",
                              -504}),
    [](const auto& info) { return std::string(info.param.name); });

// A file that delivers fewer bytes than its size never reaches the package.
TEST_F(Build, ShortReadsAreRefused) {
  const std::string shrinking = testing_support::ShrinkingFile();
  if (shrinking.empty()) GTEST_SKIP() << "no file here reports more bytes than it delivers";
  WriteFile(dir_ / "only-icon.xml",
            "<vantu-client-branding><app-name/><app-icon>icon.png</app-icon><toolbar-menu/>"
            "<about title=\"t\"/></vantu-client-branding>");
  auto run = RunTool({"-x", shrinking, "-o", dir_ / "out.bin"});
  EXPECT_EQ(run.status, StatusOf(-502));
  EXPECT_EQ(run.out, "Error: -502\n\tcannot read file " + shrinking + "\n");
  run = RunTool({"-x", dir_ / "only-icon.xml", "-i", shrinking, "-o", dir_ / "out.bin"});
  EXPECT_EQ(run.status, StatusOf(-504));
  EXPECT_EQ(run.out, "Error: -504\n\tUnable to read Image file: " + shrinking + "\n");
  EXPECT_FALSE(Exists(dir_ / "out.bin"));
}

// An image rewritten in place while the packager reads it is refused, or packaged whole as one
// of its versions: never a file that never was on disk.
TEST_F(Build, ImageRewrittenWhileReadIsNeverTorn) {
  const std::string image = dir_ / "icon.png";
  std::string first = testing_support::PngBytes(std::size_t{16} << 20);
  std::string second = first;
  for (std::size_t at = 100; at < second.size(); at += 4096) second[at] = '\x5a';
  WriteFile(image, first);
  WriteFile(dir_ / "only-icon.xml",
            "<vantu-client-branding><app-name/><app-icon>icon.png</app-icon><toolbar-menu/>"
            "<about title=\"t\"/></vantu-client-branding>");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    const int fd = open(image.c_str(), O_WRONLY | O_CLOEXEC);
    for (int turn = 0; fd >= 0 && !stop; ++turn) {
      const std::string& bytes = turn % 2 == 0 ? second : first;
      for (std::size_t at = 0; at < bytes.size() && !stop; at += 1 << 20) {
        if (pwrite(fd, bytes.data() + at, 1 << 20, static_cast<off_t>(at)) < 0) break;
      }
    }
    if (fd >= 0) close(fd);
  });
  int refused = 0;
  for (int run = 0; run < 6; ++run) {
    const std::string out = dir_ / ("out" + std::to_string(run) + ".pkg");
    const auto result = RunTool({"-x", dir_ / "only-icon.xml", "-i", image, "-o", out});
    if (result.status == StatusOf(-504)) {
      EXPECT_EQ(result.out, "Error: -504\n\tUnable to read Image file: " + image + "\n");
      EXPECT_FALSE(Exists(out));
      ++refused;
      continue;
    }
    ASSERT_EQ(result.status, 0) << result.out;
    const std::string package = testing_support::ReadFile(out);
    const std::string data = package.substr(package.size() - 8 - first.size(), first.size());
    EXPECT_TRUE(data == first || data == second) << "a torn image in run " << run;
  }
  stop = true;
  writer.join();
  std::cout << refused << " of 6 builds refused the image that changed while read\n";
}

// Memory exhaustion ends the run with one line, not an abort.
TEST_F(Build, OutOfMemoryIsOneLineAndStatus70) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#endif
  WriteFile(dir_ / "only-icon.xml",
            "<vantu-client-branding><app-name/><app-icon>icon.png</app-icon><toolbar-menu/>"
            "<about title=\"t\"/></vantu-client-branding>");
  const std::string image = dir_ / "icon.png";
  WriteFile(image, PngBytes(16));
  ASSERT_EQ(truncate(image.c_str(), 1LL << 30), 0);
  const auto run = RunTool({"-x", dir_ / "only-icon.xml", "-i", image, "-o", dir_ / "out.bin"},
                           testing_support::Options(256ULL << 20));
  EXPECT_EQ(run.status, 70);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Fatal error: out of memory\n");
  EXPECT_FALSE(Exists(dir_ / "out.bin"));
}

}  // namespace
