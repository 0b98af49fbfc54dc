// The one output path: what a target looks like after a write that failed and one that
// succeeded, for every kind of target, and as a writer that is not root.
#include "base/replaced_file.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/signal_cleanup.h"
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

// Who writes, what, and whether the written file is put in place.
struct Writer {
  uid_t uid = 0;
  bool publish = true;
  std::string content = "new";
};

// The status of a writer a signal ended.
constexpr int kKilled = -1;

// Starts a child running as writer.uid (with kShared among its groups) that got SIGINT before
// it opened the file, held until the end, and writes the content to path through
// ReplacedFile; the child's exit status: 0 done, 2 not open, 3 write, 4 publish.
pid_t StartWriter(const std::string& path, const Writer& writer) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  int status = 0;
  if (writer.uid != 0) {
    const gid_t groups[] = {kShared};
    if (setgroups(1, groups) != 0 || setgid(kNobody) != 0 || setuid(writer.uid) != 0) _exit(9);
  }
  setenv("TMPDIR", "/tmp", 1);
  bp::InstallSignalCleanup();
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_BLOCK, &interrupt, nullptr);
  raise(SIGINT);
  {
    bp::ReplacedFile file(path, bp::Mode::kBinary);
    if (!file.IsOpen()) _exit(2);
    file.File().Write(writer.content.data(), writer.content.size());
    if (!file.Close()) status = 3;
    if (status == 0 && writer.publish && !file.Publish()) status = 4;
    // Before publishing the signal ends the run and takes the temporary file with it;
    // after, the run finishes.
    sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
  }
  _exit(status);
}

// The writer's exit status, or kKilled.
int Finished(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : kKilled;
}

int WriteAs(const std::string& path, const Writer& writer) {
  return Finished(StartWriter(path, writer));
}

// The extended attributes of path (its ACL among them), name and value.
std::map<std::string, std::string> Attributes(const std::string& path) {
  std::map<std::string, std::string> attributes;
  char names[4096];
  const ssize_t size = listxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    char value[4096];
    const ssize_t length = getxattr(path.c_str(), names + at, value, sizeof value);
    attributes[names + at] =
        std::string(value, static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
  }
  return attributes;
}

// Runs a shell command of the set-up; false when it failed.
bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

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
  bool refused = false;            // the kernel refuses to follow the way there
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class ReplacedFileTargets : public ::testing::TestWithParam<TargetCase> {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to write as another user";
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    umask(022);
    GetParam().prepare(dir_);
  }
  void TearDown() override { umount2((dir_ / "out").c_str(), MNT_DETACH); }
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
    {"SetIdAndStickyBits",
     [](const TempDir& dir) {
       Plain(dir);
       chmod((dir / "out").c_str(), 07755);
     },
     0,
     {"out"}},
    {"AccessAcl",
     [](const TempDir& dir) {
       Plain(dir);
       if (!Shell("setfacl -m u:65534:r--,m::r-- " + dir / "out")) GTEST_SKIP() << "no setfacl";
     },
     0,
     {"out"}},
    {"NewFile", [](const TempDir&) {}, 0, {"out"}},
    {"NewFileUnderDefaultAcl",
     [](const TempDir& dir) {
       if (!Shell("setfacl -d -m u:65534:rw- " + dir.path())) GTEST_SKIP() << "no setfacl";
     },
     0,
     {"out"}},
    {"BindMounted",
     [](const TempDir& dir) {
       WriteFile(dir / "source", kOld);
       WriteFile(dir / "out", "");
       if (mount((dir / "source").c_str(), (dir / "out").c_str(), nullptr, MS_BIND, nullptr) != 0) {
         GTEST_SKIP() << "cannot bind-mount here: " << std::strerror(errno);
       }
     },
     0,
     {"out", "source"}},
    // Another user's link in a sticky folder that anyone may write: as root, the shell's >
    // is refused to follow it, and so is the tool.
    {"OtherUsersLinkInStickyFolder",
     [](const TempDir& dir) {
       if (!Shell("grep -q 1 /proc/sys/fs/protected_symlinks")) {
         GTEST_SKIP() << "fs.protected_symlinks is off on this machine";
       }
       ASSERT_EQ(mkdir((dir / "private").c_str(), 0700), 0);
       WriteFile(dir / "private/real", kOld);
       ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
       ASSERT_EQ(symlink((dir / "private/real").c_str(), (dir / "out").c_str()), 0);
       ASSERT_EQ(lchown((dir / "out").c_str(), kNobody, kNobody), 0);
     },
     0,
     {"private/real"},
     true},
};

// A write that never reaches Publish (a failed build) leaves every name as it was, creates
// nothing (not at a dangling link's target) and leaves no temporary file.
TEST_P(ReplacedFileTargets, FailedWriteChangesNothing) {
  const std::vector<std::string> before = testing_support::Entries(dir_.path());
  EXPECT_EQ(WriteAs(dir_ / "out", {GetParam().writer, false}), GetParam().refused ? 2 : kKilled);
  EXPECT_EQ(testing_support::Entries(dir_.path()), before);
  for (const std::string& name : GetParam().names) {
    if (Exists(dir_ / name)) {
      EXPECT_EQ(ReadFile(dir_ / name), kOld) << name;
    }
  }
}

// A published write shows at every name, and the target keeps its mode, owner, group and
// ACL; a new one gets those the shell's > would give it. A signal that arrives once it is in
// place no longer ends the run.
TEST_P(ReplacedFileTargets, PublishedWriteKeepsLinksModeOwnerAndGroup) {
  if (GetParam().refused) {
    EXPECT_EQ(WriteAs(dir_ / "out", {GetParam().writer, true}), 2);
    EXPECT_EQ(ReadFile(dir_ / GetParam().names[0]), kOld);
    return;
  }
  const bool existed = Exists(dir_ / "out");
  if (!existed) close(open((dir_ / "shell").c_str(), O_WRONLY | O_CREAT, 0666));
  const std::string like = existed ? dir_ / "out" : dir_ / "shell";
  const Stat before = StatOf(like);
  const auto attributes = Attributes(like);
  unlink((dir_ / "shell").c_str());
  const std::vector<std::string> entries = testing_support::Entries(dir_.path());
  ASSERT_EQ(WriteAs(dir_ / "out", {GetParam().writer, true}), 0);
  for (const std::string& name : GetParam().names) EXPECT_EQ(ReadFile(dir_ / name), "new") << name;
  const Stat after = StatOf(dir_ / "out");
  EXPECT_EQ(after.mode, before.mode);
  EXPECT_EQ(after.uid, before.uid);
  EXPECT_EQ(after.gid, before.gid);
  EXPECT_EQ(Attributes(dir_ / "out"), attributes);
  struct stat link {};
  ASSERT_EQ(lstat((dir_ / "out").c_str(), &link), 0);
  EXPECT_EQ(S_ISLNK(link.st_mode), GetParam().names.size() > 1 && GetParam().names[1] != "second" &&
                                       GetParam().names[1] != "source");
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

namespace {

// A copy over a file waits while another copy holds it, so two never interleave; a lock any
// reader can take (a shared one) is waited for only so long, then the copy fails, the file
// whole and no temporary file left.
TEST(ReplacedFile, CopiesOverOneFileTakeTurnsForABoundedTime) {
  TempDir dir;
  WriteFile(dir / "out", kOld);
  ASSERT_EQ(link((dir / "out").c_str(), (dir / "second").c_str()), 0);
  const int held = open((dir / "out").c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const pid_t writer = StartWriter(dir / "out", {});
  usleep(300000);
  int status = 0;
  EXPECT_EQ(waitpid(writer, &status, WNOHANG), 0) << "the copy did not wait for the lock";
  EXPECT_EQ(ReadFile(dir / "out"), kOld);
  flock(held, LOCK_UN);  // the writer shares this open file: closing it here would not do
  EXPECT_EQ(Finished(writer), 0);
  EXPECT_EQ(ReadFile(dir / "second"), "new");

  ASSERT_EQ(flock(held, LOCK_SH), 0);
  {
    bp::ReplacedFile file(dir / "out", bp::Mode::kBinary);
    ASSERT_TRUE(file.IsOpen());
    file.File().Write("newer", 5);
    ASSERT_TRUE(file.Close());
    EXPECT_FALSE(file.Publish(std::chrono::milliseconds(100)));
    EXPECT_EQ(errno, EWOULDBLOCK);
  }
  close(held);
  EXPECT_EQ(ReadFile(dir / "out"), "new");
  EXPECT_EQ(testing_support::Entries(dir.path()), (std::vector<std::string>{"out", "second"}));
}

// Where the file system reserves no space (ext2), a copy that runs out of it keeps the
// previous file whole.
TEST(ReplacedFile, FullDiskWithoutReservationKeepsTheOldFile) {
  TempDir dir;
  // A whole page of old bytes, which a copy overwrites before it meets the full disk.
  const std::string old(4096, 'o');
  const std::string disk = testing_support::FullExt2(dir, old);
  if (disk.empty()) GTEST_SKIP() << "needs root and a loop device to mount ext2";
  // Not root: the temporary file goes to $TMPDIR and the copy meets the full disk. Nothing
  // was put in place, so the held interrupt ends the writer.
  EXPECT_EQ(WriteAs(disk + "/out", {kNobody, true, std::string(9000, 'n')}), kKilled);
  EXPECT_EQ(ReadFile(disk + "/second"), old);
  umount2(disk.c_str(), MNT_DETACH);
}

}  // namespace
