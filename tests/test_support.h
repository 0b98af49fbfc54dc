// Helpers shared by the tests: scratch directories and whole-file I/O.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// A fresh directory under TMPDIR, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory's path.
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes to path, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);
// The whole content of path; fails the test when it cannot be read.
std::string ReadFile(const std::string& path);
// Whether path exists.
bool Exists(const std::string& path);
// The names in dir, sorted.
std::vector<std::string> Entries(const std::string& dir);
// A file of the running system that reports a larger size than it delivers (a sysfs
// attribute), or empty when there is none.
std::string ShrinkingFile();
// Little-endian u32 of v, as four bytes.
std::string U32(std::uint32_t v);
// A layout record holding text.
std::string LayoutRecordBytes(const std::string& text);
// An image record: format 0 PNG or 2 JPEG.
std::string ImageRecordBytes(const std::string& name, std::uint32_t format,
                             const std::string& data);
// Header, the records as given, end record.
std::string PackageBytes(const std::vector<std::string>& records);
// size bytes: a 2x1 PNG padded with a pattern, or for fewer than 70 bytes its signature and
// a pattern (which does not decode).
std::string PngBytes(std::size_t size);
// size bytes: a 3x2 JPEG padded with a pattern, or for fewer than 171 bytes its signature
// and a pattern (which does not decode).
std::string JpegBytes(std::size_t size);

// Mounts a 1 MiB ext2 file system (no room kept for root; it reserves no space ahead) at
// dir/disk (0755) holding dir/disk/out with old, hard-linked as second (0666), then fills it
// but for 4 KiB: room for a page of a copy's growth, not two. Returns dir/disk, or empty when
// this machine cannot (not root, no loop device); the caller unmounts it.
std::string FullExt2(const TempDir& dir, const std::string& old);

// An environment variable set (or, with null, unset) for as long as it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

// Runs body in a child process as the user uid with primary group gid (root only): the
// child's exit status is body's answer, or 125 when it could not become that user. -1 when
// this process is not root.
int AsUser(unsigned uid, unsigned gid, const std::function<int()>& body);

// Mounts a 4 MiB ext4 file system with 128-byte inodes, whose times are whole seconds, at
// dir/disk (0755). Returns dir/disk, or empty when this machine cannot (not root, no loop
// device); the caller unmounts it.
std::string WholeSecondDisk(const TempDir& dir);

// A PNG of width x height grey pixels that decodes.
std::string PngOfSize(std::uint32_t width, std::uint32_t height);

}  // namespace testing_support
