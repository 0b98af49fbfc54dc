#include "inspect/model/image_cache.h"

namespace vantu::branding_package {

namespace {

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return StampOf(status);
}

FileStamp StampOf(const struct stat& status) {
  return FileStamp{{status.st_dev, status.st_ino},
                   status.st_size,
                   Nanoseconds(status.st_ctim),
                   Nanoseconds(status.st_mtim)};
}

const ImageCache::Entry* ImageCache::Find(const std::string& path, const FileStamp& stamp) const {
  const auto it = entries_.find(path);
  return it != entries_.end() && it->second.stamp == stamp ? &it->second : nullptr;
}

void ImageCache::Keep(const std::string& path, Entry entry, const FileSource& file) {
  ++reads_;
  if (!SettledAt(file.Opened(), file.OpenedAt(), tick_)) {
    entries_.erase(path);
    return;
  }
  entry.stamp = StampOf(file.Opened());
  // Names come and go as a layout is edited: a full cache starts again.
  if (entries_.size() >= kMaxEntries && entries_.count(path) == 0) entries_.clear();
  entries_[path] = std::move(entry);
}

}  // namespace vantu::branding_package
