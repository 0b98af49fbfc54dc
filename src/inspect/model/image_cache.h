// What reading each image file came to, kept while the file stays as it was read, so that a
// surface that checks a layout again and again (the language server) reads and decodes each
// image once.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/file_id.h"
#include "inspect/model/findings.h"
#include "inspect/model/image_facts.h"

namespace vantu::branding_package {

// Which version of a file a path reaches: a file replaced, rewritten in place or only touched
// has another stamp (its change time moves with any change).
struct FileStamp {
  FileId file;
  off_t size = 0;
  std::int64_t changed = 0;   // st_ctim, in nanoseconds
  std::int64_t modified = 0;  // st_mtim, in nanoseconds
  bool operator==(const FileStamp& other) const {
    return file == other.file && size == other.size && changed == other.changed &&
           modified == other.modified;
  }
};

// The stamp of what path reaches, following links; none when nothing is there.
std::optional<FileStamp> StampOf(const std::string& path);
// The stamp of a file with status.
FileStamp StampOf(const struct stat& status);

class ImageCache {
 public:
  // A file changed less than a timestamp tick ago may change again and keep its stamp: no
  // entry so young is kept.
  explicit ImageCache(std::chrono::nanoseconds tick = kTimestampTick) : tick_(tick) {}
  // What one read of an image file learnt.
  struct Entry {
    FileStamp stamp;
    ImageFacts facts;
    bool read = false;              // it was opened and its record made
    std::optional<FileId> id;       // the file opened
    std::vector<Finding> findings;  // why it could not be read or is not an image
    std::string record;             // the record's bytes, when the cache keeps records
  };
  // The entry for path while its file has stamp; else null.
  const Entry* Find(const std::string& path, const FileStamp& stamp) const;
  // Counts a read of path and keeps entry for it, under the stamp of file (what was opened and
  // read), in place of any before; nothing when file had changed less than a tick before it
  // was opened.
  void Keep(const std::string& path, Entry entry, const FileSource& file);
  // How many files were read rather than found here.
  std::uint64_t Reads() const { return reads_; }
  // Whether entries keep the record the packager stores, for a long-running surface that
  // builds its package at every check (the live page).
  bool KeepsRecords() const { return keepsRecords_; }
  void SetKeepsRecords(bool keeps) { keepsRecords_ = keeps; }

 private:
  // Entries kept at most: past it, the oldest reads are dropped first.
  static constexpr std::size_t kMaxEntries = 1024;
  std::chrono::nanoseconds tick_;
  std::map<std::string, Entry> entries_;
  std::uint64_t reads_ = 0;
  bool keepsRecords_ = false;
};

}  // namespace vantu::branding_package
