// Faults a careful user or an attacker could provoke: each test pins one by name.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/run_tool.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::ImageRecordBytes;
using testing_support::JpegBytes;
using testing_support::LayoutRecordBytes;
using testing_support::Options;
using testing_support::PackageBytes;
using testing_support::PngBytes;
using testing_support::ReadFile;
using testing_support::RunInspect;
using testing_support::RunOptions;
using testing_support::RunTool;
using testing_support::StatusOf;
using testing_support::TempDir;
using testing_support::WriteFile;

using testing_support::Entries;

// The sample layout: icon.png and logo.jpg.
const std::string kLayout = testing_support::kSampleLayout;

// The hash a successful build printed.
std::string HashOf(const testing_support::ToolRun& run) {
  const std::size_t at = run.out.find("Hash: ");
  return at == std::string::npos ? "" : run.out.substr(at + 6, 64);
}

class Safety : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir_ / "layout.xml", kLayout);
    WriteFile(dir_ / "icon.png", PngBytes(1000));
    WriteFile(dir_ / "logo.jpg", JpegBytes(imageSize_));
  }

  std::vector<std::string> Build(const std::string& output) const {
    return {"-x", dir_ / "layout.xml", "-i", dir_ / "icon.png",
            "-i", dir_ / "logo.jpg",   "-o", output};
  }

  TempDir dir_;
  std::size_t imageSize_ = 200000;
};

// A failing rebuild keeps the previous package whole and leaves no temporary file, whether
// the size limit's signal is ignored by the caller or not; the schema file likewise.
TEST_F(Safety, FileSizeLimitKeepsThePreviousOutput) {
  WriteFile(dir_ / "out.pkg", "previous package");
  WriteFile(dir_ / "schema.xsd", "previous schema");
  const auto before = Entries(dir_.path());
  for (bool ignored : {false, true}) {
    const RunOptions limited = Options(0, 1000, ignored, -1);
    auto run = RunTool(Build(dir_ / "out.pkg"), limited);
    EXPECT_EQ(run.status, StatusOf(-504)) << ignored;
    EXPECT_EQ(run.out, "Error: -504\n\tUnable to write Output file: " + (dir_ / "out.pkg") + "\n");
    run = RunTool({"-d", "-o", dir_ / "schema.xsd"}, limited);
    EXPECT_EQ(run.status, StatusOf(-504));
    EXPECT_EQ(ReadFile(dir_ / "out.pkg"), "previous package");
    EXPECT_EQ(ReadFile(dir_ / "schema.xsd"), "previous schema");
    EXPECT_EQ(Entries(dir_.path()), before);
  }
}

// Under a file size limit a rebuild fails and keeps the previous output whole whatever it
// is: a second hard link, or a dangling link whose target must not appear.
TEST_F(Safety, FileSizeLimitKeepsLinkedOutputs) {
  WriteFile(dir_ / "out.pkg", "previous package");
  ASSERT_EQ(link((dir_ / "out.pkg").c_str(), (dir_ / "second.pkg").c_str()), 0);
  ASSERT_EQ(symlink("missing.pkg", (dir_ / "dangling.pkg").c_str()), 0);
  const auto before = Entries(dir_.path());
  for (const char* output : {"out.pkg", "dangling.pkg"}) {
    const auto run = RunTool(Build(dir_ / output), Options(0, 1000, true, -1));
    EXPECT_EQ(run.status, StatusOf(-504)) << output;
    EXPECT_EQ(ReadFile(dir_ / "second.pkg"), "previous package");
    EXPECT_EQ(Entries(dir_.path()), before) << output;
  }
}

// A final copy over a hard-linked output that meets a full disk is an error with no digest
// printed, and the previous package stays: room for the temporary file, none for the copy.
TEST_F(Safety, FailedFinalCopyPrintsNoDigest) {
  imageSize_ = 1000;  // a package that leaves its temporary file room on the full disk
  SetUp();
  const std::string disk = testing_support::FullExt2(dir_, "previous package");
  if (disk.empty()) GTEST_SKIP() << "needs root and a loop device to mount ext2";
  const auto run = RunTool(Build(disk + "/out"));
  EXPECT_EQ(ReadFile(disk + "/second"), "previous package");
  umount2(disk.c_str(), MNT_DETACH);
  EXPECT_EQ(run.status, StatusOf(-504));
  EXPECT_EQ(run.out, "Error: -504\n\tUnable to write Output file: " + disk + "/out\n");
}

// preview never writes its page over one of its inputs, however the path reaches it.
TEST_F(Safety, PreviewRefusesToOverwriteItsInput) {
  ASSERT_EQ(RunTool(Build(dir_ / "brand.pkg")).status, 0);
  ASSERT_EQ(symlink("brand.pkg", (dir_ / "link.pkg").c_str()), 0);
  const std::string package = ReadFile(dir_ / "brand.pkg");
  const std::string layout = dir_ / "layout.xml";
  const std::vector<std::vector<std::string>> runs = {
      {"preview", dir_ / "brand.pkg", "-o", dir_ / "brand.pkg"},
      {"preview", dir_ / "brand.pkg", "-o", dir_ / "link.pkg"},
      {"preview", "--layout", layout, dir_ / "icon.png", dir_ / "logo.jpg", "-o", layout},
      {"preview", "--layout", layout, dir_ / "icon.png", dir_ / "logo.jpg", "-o",
       dir_ / "icon.png"},
  };
  for (const auto& args : runs) {
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, 8) << args.back();
    EXPECT_EQ(run.err, args.back() + ": is also an input, not overwriting it\n");
  }
  EXPECT_EQ(ReadFile(dir_ / "brand.pkg"), package);
  EXPECT_EQ(ReadFile(layout), kLayout);
  EXPECT_EQ(ReadFile(dir_ / "icon.png"), PngBytes(1000));
}

// A symbolic link stays a link and its target gets the package with its permission bits; a
// file with a second hard link is replaced through both names.
TEST_F(Safety, LinksAndPermissionsSurviveARebuild) {
  WriteFile(dir_ / "real.pkg", "old");
  ASSERT_EQ(chmod((dir_ / "real.pkg").c_str(), 0640), 0);
  ASSERT_EQ(symlink("real.pkg", (dir_ / "link.pkg").c_str()), 0);
  auto run = RunTool(Build(dir_ / "link.pkg"));
  ASSERT_EQ(run.status, 0) << run.out;
  struct stat status {};
  ASSERT_EQ(lstat((dir_ / "link.pkg").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  ASSERT_EQ(stat((dir_ / "real.pkg").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(RunInspect({"verify", "--sha256", HashOf(run), dir_ / "real.pkg"}).status, 0);

  WriteFile(dir_ / "a.pkg", "old");
  ASSERT_EQ(link((dir_ / "a.pkg").c_str(), (dir_ / "b.pkg").c_str()), 0);
  run = RunTool(Build(dir_ / "a.pkg"));
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(RunInspect({"verify", "--sha256", HashOf(run), dir_ / "b.pkg"}).status, 0);
}

// SIGTERM at any moment of a build leaves the old package or the new one, whole, and no
// temporary file.
TEST_F(Safety, TerminatedBuildLeavesNoFragment) {
  imageSize_ = 64 << 20;
  SetUp();
  for (int delay : {5, 40, 80, 120, 160, 250}) {
    WriteFile(dir_ / "out.pkg", "previous package");
    const auto before = Entries(dir_.path());
    RunTool(Build(dir_ / "out.pkg"), Options(0, 0, false, delay));
    EXPECT_EQ(Entries(dir_.path()), before) << delay;
    if (ReadFile(dir_ / "out.pkg") != "previous package") {
      EXPECT_EQ(RunInspect({"verify", dir_ / "out.pkg"}).status, 0) << delay;
    }
  }
}

// Two builds racing for one output: the file left is whole, and its digest is one of the
// two that were printed.
TEST_F(Safety, RacingBuildsLeaveOneWholePackage) {
  imageSize_ = 2 << 20;
  SetUp();
  ASSERT_EQ(mkdir((dir_ / "v2").c_str(), 0755), 0);
  WriteFile(dir_ / "v2/logo.jpg", JpegBytes(3 << 20));
  std::vector<std::string> other = Build(dir_ / "out.pkg");
  other[5] = dir_ / "v2/logo.jpg";
  // Each build's own hash, learnt alone: a build that hashed the other's file would print
  // the other's.
  const std::string firstHash = HashOf(RunTool(Build(dir_ / "alone.pkg")));
  other[7] = dir_ / "alone.pkg";
  const std::string secondHash = HashOf(RunTool(other));
  other[7] = dir_ / "out.pkg";
  ASSERT_NE(firstHash, secondHash);
  ASSERT_EQ(unlink((dir_ / "alone.pkg").c_str()), 0);
  const auto before = Entries(dir_.path());
  for (int round = 0; round < 8; ++round) {
    testing_support::ToolRun first;
    std::thread racer([&] { first = RunTool(Build(dir_ / "out.pkg")); });
    const auto second = RunTool(other);
    racer.join();
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(HashOf(first), firstHash) << round;
    EXPECT_EQ(HashOf(second), secondHash) << round;
    const bool firstWon =
        RunInspect({"verify", "--sha256", HashOf(first), dir_ / "out.pkg"}).status == 0;
    const bool secondWon =
        RunInspect({"verify", "--sha256", HashOf(second), dir_ / "out.pkg"}).status == 0;
    EXPECT_TRUE(firstWon || secondWon) << round;
  }
  auto after = Entries(dir_.path());
  after.erase(std::remove(after.begin(), after.end(), "out.pkg"), after.end());
  EXPECT_EQ(after, before);
}

// Tokens behind one dash that are not the tool's own switch letters are refused, not read
// as a request for help.
TEST_F(Safety, StraySingleDashTokensAreUnknownArguments) {
  for (const std::string token : {"-shout", "-wordy", "-dx"}) {
    std::vector<std::string> args = Build(dir_ / "out.pkg");
    args.push_back(token);
    const auto run = RunTool(args);
    EXPECT_EQ(run.status, 1) << token;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error: Couldn't find match for argument for arg Argument: " + token + "\n");
  }
  EXPECT_FALSE(Exists(dir_ / "out.pkg"));
}

// The companion refuses a single-dash word and a double-dash word that is none of the
// command's options (never read as help, or as a file), naming itself in the usage; "--"
// ends the options for a file whose name starts with dashes.
TEST_F(Safety, CompanionRefusesUnknownOptionWords) {
  const std::string layout = dir_ / "layout.xml";
  const std::vector<std::vector<std::string>> refused = {
      {"verify", layout, "-sha256", std::string(64, '0')},
      {"list", "-json", layout},
      {"extract", layout, dir_ / "x", "-force"},
      {"extract", layout, dir_ / "x", "-fh"},
      {"lint", "-strict", layout},
      {"lint", layout, dir_ / "icon.png", "--josn"},
      {"lint", "--json=1", layout},
      {"preview", "--layuot", layout, "-o", dir_ / "p.html"}};
  for (const auto& args : refused) {
    const auto run = RunInspect(args);
    EXPECT_EQ(run.status, 1) << args[0] << " " << args[2];
    EXPECT_NE(run.err.find("branding-package-inspect " + args[0]), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("not_set_yet"), std::string::npos);
  }
  WriteFile(dir_ / "--odd.png", PngBytes(100));
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  const auto run = RunInspect({"lint", layout, "--", "--odd.png"});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(run.status, 6) << run.err;
  EXPECT_NE(run.out.find("No reference found for resource: --odd.png"), std::string::npos)
      << run.out;
}

// A FIFO, or any file but a regular one, is refused at once by every reader of either tool.
TEST_F(Safety, FifosAreRefusedWithoutBlocking) {
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const RunOptions deadline = Options(0, 0, false, 10000);
  struct Case {
    std::vector<std::string> args;
    bool inspect;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"-x", fifo, "-o", dir_ / "out.pkg"},
       false,
       StatusOf(-502),
       "Error: -502\n\tcannot open file " + fifo + "\n",
       ""},
      {{"-x", dir_ / "layout.xml", "-i", fifo, "-o", dir_ / "out.pkg"},
       false,
       StatusOf(-504),
       "Error: -504\n\tUnable to open Image file: " + fifo + "\n",
       ""},
      {{"-x", dir_ / "layout.xml", "-i", "/dev/zero", "-o", dir_ / "out.pkg"},
       false,
       StatusOf(-504),
       "Error: -504\n\tUnable to open Image file: /dev/zero\n",
       ""},
      {{"list", fifo}, true, 2, "", fifo + ": cannot open the file: not a regular file\n"},
      {{"verify", fifo}, true, 2, "", fifo + ": cannot open the file: not a regular file\n"},
      {{"extract", fifo, dir_ / "x"},
       true,
       2,
       "",
       fifo + ": cannot open the file: not a regular file\n"},
      {{"lint", fifo}, true, 2, "", fifo + ": cannot open the file: not a regular file\n"},
      {{"lint", dir_ / "layout.xml", fifo},
       true,
       2,
       fifo + ":1:1: error: Unable to open Image file: " + fifo +
           " (not a regular file) [image-unreadable]\n" +
           dir_ / "layout.xml: 4 errors, 0 warnings\n",
       ""},
  };
  for (const Case& c : cases) {
    const auto run = c.inspect ? RunInspect(c.args, deadline) : RunTool(c.args, deadline);
    EXPECT_EQ(run.signal, 0) << c.args[1];
    EXPECT_EQ(run.status, c.status) << c.args[1];
    // The output ends with what the case names (lint reports the references first).
    EXPECT_EQ(run.out.substr(run.out.size() - std::min(run.out.size(), c.out.size())), c.out);
    if (c.out.empty()) {
      EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(run.err, c.err);
  }
}

class ExtractSafety : public ::testing::Test {
 protected:
  std::string Package(const std::vector<std::string>& records) {
    const std::string path = dir_ / ("p" + std::to_string(++made_) + ".pkg");
    WriteFile(path, PackageBytes(records));
    return path;
  }

  TempDir dir_;
  int made_ = 0;
};

// The package swapped under extract (a symbolic link flipped in a loop) never makes it
// write outside its directory: one descriptor is read, and names are checked on the bytes
// that are written.
TEST_F(ExtractSafety, SwappedPackageCannotEscape) {
  const std::string layout = LayoutRecordBytes("<x/>");
  const std::string good = Package({layout, ImageRecordBytes("ESCAPED.png", 0, PngBytes(4096))});
  const std::string evil =
      Package({layout, ImageRecordBytes("../../ESCAPED.png", 0, PngBytes(4096))});
  ASSERT_EQ(mkdir((dir_ / "out").c_str(), 0755), 0);
  std::atomic<bool> done{false};
  std::thread flipper([&] {
    for (bool which = false; !done; which = !which) {
      if (symlink(which ? evil.c_str() : good.c_str(), (dir_ / "next").c_str()) != 0) continue;
      std::rename((dir_ / "next").c_str(), (dir_ / "swap.pkg").c_str());
    }
  });
  for (int i = 0; i < 150; ++i) {
    RunInspect({"extract", "--force", dir_ / "swap.pkg", dir_ / "out/x"});
  }
  done = true;
  flipper.join();
  EXPECT_FALSE(Exists(dir_ / "out/ESCAPED.png"));
  EXPECT_FALSE(Exists(dir_ / "ESCAPED.png"));
}

// --force replaces all files or none: a directory in the way is refused before anything
// moves, with the reason; interrupted extractions leave no staging directory behind.
TEST_F(ExtractSafety, ForceIsAllOrNothing) {
  const std::string package =
      Package({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(5000)),
               ImageRecordBytes("b.jpg", 2, JpegBytes(5000))});
  const std::string out = dir_ / "out";
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
  WriteFile(out + "/a.png", "old a");
  ASSERT_EQ(mkdir((out + "/b.jpg").c_str(), 0755), 0);
  auto run = RunInspect({"extract", "--force", package, out});
  EXPECT_EQ(run.status, 8);
  EXPECT_EQ(run.err, package + ": " + out + "/b.jpg is a directory; only files are replaced\n");
  EXPECT_EQ(ReadFile(out + "/a.png"), "old a");
  EXPECT_EQ(Entries(out), (std::vector<std::string>{"a.png", "b.jpg"}));

  ASSERT_EQ(rmdir((out + "/b.jpg").c_str()), 0);
  run = RunInspect({"extract", "--force", package, out}, Options(0, 3000, false, -1));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
  // The message names the file in DIR, never the hidden staging directory.
  EXPECT_NE(run.err.find("cannot write " + out + "/"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(".extract-"), std::string::npos) << run.err;
  EXPECT_EQ(Entries(out), (std::vector<std::string>{"a.png"}));
  EXPECT_EQ(ReadFile(out + "/a.png"), "old a");

  run = RunInspect({"extract", "--force", package, out});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Entries(out), (std::vector<std::string>{"a.png", "b.jpg", "layout.xml"}));
}

// SIGTERM during an extraction leaves no staging directory and no partial file.
TEST_F(ExtractSafety, TerminatedExtractLeavesNothing) {
  const std::string package =
      Package({LayoutRecordBytes("<x/>"), ImageRecordBytes("a.png", 0, PngBytes(48 << 20)),
               ImageRecordBytes("b.png", 0, PngBytes(48 << 20))});
  for (int delay : {5, 30, 90}) {
    const std::string out = dir_ / ("out" + std::to_string(delay));
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    const auto run = RunInspect({"extract", package, out}, Options(0, 0, false, delay));
    const auto left = Entries(out);
    if (run.signal == 0) {
      EXPECT_EQ(left, (std::vector<std::string>{"a.png", "b.png", "layout.xml"}));
    } else {
      EXPECT_TRUE(left.empty() || left.size() == 3) << left.size();
    }
  }
}

// A package whose layout text is larger than memory allows is out of memory (status 70),
// never called corrupt; the JSON of list and verify stays one whole object.
TEST_F(ExtractSafety, LayoutLargerThanMemoryIsFatalNotCorrupt) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer cannot run under a memory limit";
#endif
  const std::string path = dir_ / "sparse.pkg";
  const std::uint32_t text = 0xF0000000u;
  WriteFile(path, testing_support::U32(text + 37) + testing_support::U32(0) +
                      testing_support::U32(1) + testing_support::U32(text + 17) +
                      testing_support::U32(1) + testing_support::U32(0) +
                      testing_support::U32(text + 1));
  ASSERT_EQ(truncate(path.c_str(), std::int64_t{text} + 37), 0);
  const RunOptions small = Options(512ULL << 20, 0, false, -1);
  auto run = RunInspect({"verify", path}, small);
  EXPECT_EQ(run.status, 70);
  EXPECT_EQ(run.err, "Fatal error: out of memory\n");
  const std::string layout = dir_ / "huge.xml";
  WriteFile(layout, "");
  ASSERT_EQ(truncate(layout.c_str(), std::int64_t{1} << 30), 0);
  for (const char* command : {"list", "verify", "lint"}) {
    run = RunInspect({command, "--json", command == std::string("lint") ? layout : path}, small);
    EXPECT_EQ(run.status, 70) << command;
    EXPECT_EQ(testing_support::JsonValue(run.out, "d['fault']['kind']"), "fatal") << command;
  }
}

// Every --json run prints one whole object, also for an input that cannot be opened.
TEST_F(ExtractSafety, JsonIsOneObjectForAMissingInput) {
  for (const char* command : {"list", "verify", "lint"}) {
    const auto run = RunInspect({command, "--json", dir_ / "missing"});
    EXPECT_EQ(run.status, 2) << command;
    EXPECT_EQ(testing_support::JsonValue(run.out, "d['fault']['kind']"), "io") << command;
  }
}

// Control bytes of stored names never reach the terminal raw.
TEST_F(ExtractSafety, ControlBytesAreEscaped) {
  const std::string package = Package(
      {LayoutRecordBytes("<x/>"), ImageRecordBytes("a\nb\t\x1b[31m.png", 0, PngBytes(100))});
  auto run = RunInspect({"list", package});
  EXPECT_NE(run.out.find("image a\\nb\\t\\x1b[31m.png, PNG"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  run = RunInspect({"extract", package, dir_ / "out"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir_ / "out/a\\nb\\t\\x1b[31m.png\n" + dir_ / "out/layout.xml\n");
}

}  // namespace
