#include "package/file_writer.h"

#include <sys/stat.h>

#include <sstream>
#include <utility>

#include "base/bp_exception.h"
#include "base/byte_source.h"
#include "base/replaced_file.h"
#include "base/shown.h"
#include "image/image_format.h"
#include "layout/layout_text.h"
#include "package/name_match.h"
#include "package/record_codec.h"
#include "package/records.h"
#include "package/write_package.h"

namespace bp = vantu::branding_package;

cBP_FILE_WRITER::cBP_FILE_WRITER(std::string outputPath) : outputPath(std::move(outputPath)) {}

cBP_FILE_WRITER::~cBP_FILE_WRITER() = default;

void cBP_FILE_WRITER::LoadLayout(const std::string& layoutPath) {
  bp::LayoutFile file = bp::ReadLayoutFile(layoutPath);
  switch (file.problem) {
    case bp::LayoutFile::Problem::kNone:
      break;
    case bp::LayoutFile::Problem::kCannotOpen:
      throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot open file " + layoutPath);
    case bp::LayoutFile::Problem::kCannotRead:
      throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, "cannot read file " + layoutPath);
    case bp::LayoutFile::Problem::kTooLarge:
      throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, bp::LayoutTooLargeMessage(layoutPath));
  }
  AddLayout(bp::LayoutDocument(std::move(file.text)), layoutPath);
  if (file.id) inputs_.push_back(*file.id);
}

void cBP_FILE_WRITER::AddLayout(const bp::LayoutDocument& document, const std::string& layoutPath) {
  if (const auto& error = document.SyntaxError()) {
    throw cBP_EXCEPTION(BP_ERR_MALFORMED, error->what());
  }
  ValidateLayout(document.Top());
  std::optional<std::string> text = document.StoredText();
  if (!text) throw cBP_EXCEPTION(BP_ERR_LAYOUT_UNREADABLE, bp::LayoutTooLargeMessage(layoutPath));
  components.push_back(bp::MakeLayoutRecord(*text));
}

void cBP_FILE_WRITER::ValidateLayout(const bp::LayoutNode* top) {
  bp::ApplyLayoutRules(top, references);
}

void cBP_FILE_WRITER::AnticipateImages(const std::vector<std::string>& imagePaths) {
  // Sizes by name are a guess: a file that changes before it is read only costs the early
  // hash, which Finish then refuses.
  std::uint64_t size = bp::kHeaderSize + bp::kEndRecordSize;
  for (const auto& record : components) size += record->size;
  for (const std::string& path : imagePaths) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    size +=
        bp::ImageRecordSize(bp::ImageName(path).size(), static_cast<std::uint64_t>(status.st_size));
  }
  if (size < bp::kHashAlongsideFrom || size > bp::kMaxPackageSize) return;
  running_ = std::make_unique<bp::RunningDigest>(size);
  for (const auto& record : components) running_->Add(*record);
}

void cBP_FILE_WRITER::AddImage(const std::string& imagePath) {
  bp::FileSource file(imagePath);
  if (!file.IsOpen()) throw cBP_EXCEPTION(BP_ERR_FILE, "Unable to open Image file: " + imagePath);
  AddImage(file, imagePath);
  inputs_.push_back(file.Id());
}

void cBP_FILE_WRITER::AddImage(bp::ByteSource& source, const std::string& imagePath) {
  AddImageRecord(bp::MakeImageRecord(source, imagePath), imagePath);
}

void cBP_FILE_WRITER::AddImageRecord(bp::Record record, const std::string& imagePath) {
  resources.emplace_back(bp::ImageName(imagePath));
  components.push_back(std::move(record));
  if (running_) running_->Add(*components.back());
}

void cBP_FILE_WRITER::CheckReferences() const {
  const bp::NameMismatches mismatches = bp::MatchNames(references, resources);
  if (mismatches.references.empty() && mismatches.resources.empty()) return;
  std::ostringstream message;
  for (std::size_t i : mismatches.references) {
    message << bp::kNoResourceFound << bp::Shown(references[i]) << '\n';
  }
  for (std::size_t i : mismatches.resources) {
    message << bp::kNoReferenceFound << bp::Shown(resources[i]) << '\n';
  }
  throw cBP_EXCEPTION(BP_ERR_REFERENCES, message.str());
}

void cBP_FILE_WRITER::WritePackage() {
  CheckReferences();
  writtenHash_ = bp::WritePackageFile(outputPath, components, inputs_, running_.get());
}

std::string cBP_FILE_WRITER::GetPackageHash() const {
  if (writtenHash_) return *writtenHash_;
  return bp::PackageFileHash(outputPath, outputPath);
}
