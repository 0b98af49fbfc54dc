// The one output path: what a target looks like after a write that failed and one that
// succeeded, for every kind of target, and as a writer that is not root.
#include "base/replaced_file.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace bp = vantu::branding_package;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kShared = 4321;  // a group the writer belongs to besides its own
// What each target holds before: longer than "new", so a copy that leaves the old tail shows.
const std::string kOld = "old, and longer than what replaces it";

// Who writes, and whether the written file is put in place.
struct Writer {
  uid_t uid = 0;
  bool publish = true;
};

// Writes "new" to path through ReplacedFile in a child running as writer.uid (with kShared
// among its groups); the child's exit status: 0 done, 2 not open, 3 write, 4 publish.
int WriteAs(const std::string& path, Writer writer) {
  const pid_t pid = fork();
  if (pid == 0) {
    int status = 0;
    if (writer.uid != 0) {
      const gid_t groups[] = {kShared};
      if (setgroups(1, groups) != 0 || setgid(kNobody) != 0 || setuid(writer.uid) != 0) _exit(9);
    }
    setenv("TMPDIR", "/tmp", 1);
    {
      bp::ReplacedFile file(path, bp::Mode::kBinary);
      if (!file.IsOpen()) {
        status = 2;
      } else {
        file.File().Write("new", 3);
        if (!file.Close()) status = 3;
        if (status == 0 && writer.publish && !file.Publish()) status = 4;
      }
    }
    _exit(status);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Stat {
  mode_t mode;
  uid_t uid;
  gid_t gid;
};

Stat StatOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return {status.st_mode, status.st_uid, status.st_gid};
}

// One kind of target: how dir/out is made, who writes it, and every name that shows it.
struct TargetCase {
  const char* name;
  std::function<void(const TempDir&)> prepare;
  uid_t writer;
  std::vector<std::string> names;  // out first; each shows kOld before and "new" after
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class ReplacedFileTargets : public ::testing::TestWithParam<TargetCase> {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to write as another user";
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    GetParam().prepare(dir_);
  }
  TempDir dir_;
};

// Plain: a regular file owned by root.
void Plain(const TempDir& dir) {
  WriteFile(dir / "out", kOld);
  chmod((dir / "out").c_str(), 0640);
}

const TargetCase kTargets[] = {
    {"RegularFile", Plain, 0, {"out"}},
    {"HardLinked",
     [](const TempDir& dir) {
       Plain(dir);
       EXPECT_EQ(link((dir / "out").c_str(), (dir / "second").c_str()), 0);
     },
     0,
     {"out", "second"}},
    {"SymbolicLink",
     [](const TempDir& dir) {
       WriteFile(dir / "real", kOld);
       EXPECT_EQ(symlink("real", (dir / "out").c_str()), 0);
     },
     0,
     {"out", "real"}},
    {"DanglingLink",
     [](const TempDir& dir) { EXPECT_EQ(symlink("missing", (dir / "out").c_str()), 0); },
     0,
     {"out", "missing"}},
    {"DirectoryNotWritable",
     [](const TempDir& dir) {
       Plain(dir);
       chmod((dir / "out").c_str(), 0666);
     },
     kNobody,
     {"out"}},
    {"GroupMemberRebuilds",
     [](const TempDir& dir) {
       Plain(dir);
       EXPECT_EQ(chown(dir.path().c_str(), kNobody, kNobody), 0);
       EXPECT_EQ(chown((dir / "out").c_str(), kNobody, kShared), 0);
       chmod((dir / "out").c_str(), 0664);
     },
     kNobody,
     {"out"}},
    {"OwnedBySomeoneElse",
     [](const TempDir& dir) {
       Plain(dir);
       chmod(dir.path().c_str(), 0777);
       chmod((dir / "out").c_str(), 0666);
     },
     kNobody,
     {"out"}},
};

// A write that never reaches Publish (a failed build) leaves every name as it was, creates
// nothing (not at a dangling link's target) and leaves no temporary file.
TEST_P(ReplacedFileTargets, FailedWriteChangesNothing) {
  const std::vector<std::string> before = testing_support::Entries(dir_.path());
  EXPECT_EQ(WriteAs(dir_ / "out", {GetParam().writer, false}), 0);
  EXPECT_EQ(testing_support::Entries(dir_.path()), before);
  for (const std::string& name : GetParam().names) {
    if (Exists(dir_ / name)) {
      EXPECT_EQ(ReadFile(dir_ / name), kOld) << name;
    }
  }
}

// A published write shows at every name, and the target keeps its mode, owner and group.
TEST_P(ReplacedFileTargets, PublishedWriteKeepsLinksModeOwnerAndGroup) {
  const bool existed = Exists(dir_ / "out");
  const Stat before = existed ? StatOf(dir_ / "out") : Stat{};
  const std::vector<std::string> entries = testing_support::Entries(dir_.path());
  ASSERT_EQ(WriteAs(dir_ / "out", {GetParam().writer, true}), 0);
  for (const std::string& name : GetParam().names) EXPECT_EQ(ReadFile(dir_ / name), "new") << name;
  if (existed) {
    const Stat after = StatOf(dir_ / "out");
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.uid, before.uid);
    EXPECT_EQ(after.gid, before.gid);
  }
  struct stat link {};
  ASSERT_EQ(lstat((dir_ / "out").c_str(), &link), 0);
  EXPECT_EQ(S_ISLNK(link.st_mode), GetParam().names.size() > 1 && GetParam().names[1] != "second");
  if (existed) {
    EXPECT_EQ(testing_support::Entries(dir_.path()), entries);
  }
}

INSTANTIATE_TEST_SUITE_P(Output, ReplacedFileTargets, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

// An output that is one of the run's inputs is refused before anything is written, however
// the path reaches it.
TEST(ReplacedFile, RefusesAnInputByAnyPath) {
  TempDir dir;
  WriteFile(dir / "input", "input");
  EXPECT_EQ(link((dir / "input").c_str(), (dir / "hard").c_str()), 0);
  EXPECT_EQ(symlink("input", (dir / "soft").c_str()), 0);
  const std::vector<bp::FileId> inputs = {*bp::IdOfFile(dir / "input")};
  for (const char* name : {"input", "hard", "soft"}) {
    bp::ReplacedFile file(dir / name, bp::Mode::kBinary, inputs);
    EXPECT_FALSE(file.IsOpen()) << name;
    EXPECT_EQ(file.Failure(), bp::OpenFailure::kIsInput) << name;
  }
  EXPECT_EQ(ReadFile(dir / "input"), "input");
  EXPECT_EQ(testing_support::Entries(dir.path()),
            (std::vector<std::string>{"hard", "input", "soft"}));
}

}  // namespace
