#include "inspect/model/image_facts.h"

#include "digest/sha256.h"
#include "image/image_format.h"

namespace vantu::branding_package {

namespace {

// Another source, remembering whether a read of it failed: the decoder reads only within the
// image's data, so a failed read there is the file's, not the image's.
class WatchedSource : public ByteSource {
 public:
  explicit WatchedSource(ByteSource& source) : source_(source) {}
  std::uint64_t Size() const override { return source_.Size(); }
  bool ReadAt(std::uint64_t offset, void* out, std::uint64_t size) override {
    const bool read = source_.ReadAt(offset, out, size);
    failed_ = failed_ || !read;
    return read;
  }
  std::string ReadFailure() const override { return source_.ReadFailure(); }
  bool Failed() const { return failed_; }

 private:
  ByteSource& source_;
  bool failed_ = false;
};

}  // namespace

std::optional<ImageFacts> LearnImage(ByteSource& source, ImageFacts image, Learn learn) {
  if (Asks(learn, Learn::kDigest)) {
    SliceSource data(source, image.dataOffset, image.size);
    std::optional<std::string> sha256 = Sha256Hex(data);
    if (!sha256) return std::nullopt;
    image.sha256 = std::move(*sha256);
  }
  if (Asks(learn, Learn::kPixels)) {
    WatchedSource watched(source);
    image.decoded = DecodeImage(watched, image.dataOffset, image.size, image.format);
    if (watched.Failed()) return std::nullopt;
  }
  return image;
}

std::string PixelsText(const ImageFacts& image) {
  if (!image.decoded.ok) return "does not decode";
  return PixelSize(image.decoded.width, image.decoded.height) + " pixels";
}

}  // namespace vantu::branding_package
