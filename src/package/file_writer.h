// The package writer: collects finished records and image names, then writes the file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/replaced_file.h"
#include "layout/layout_document.h"
#include "package/component_wrapper.h"
#include "package/records.h"
#include "package/write_package.h"

// The packager's build: each member hands over to the layout, image, package and digest
// stages; the members and their order of checks are what callers rely on.
class cBP_FILE_WRITER {
 public:
  // Remembers the output path; nothing is opened before WritePackage.
  explicit cBP_FILE_WRITER(std::string outputPath);
  virtual ~cBP_FILE_WRITER();
  cBP_FILE_WRITER(const cBP_FILE_WRITER&) = delete;
  cBP_FILE_WRITER& operator=(const cBP_FILE_WRITER&) = delete;

  // Reads, parses and validates the layout file and appends the layout record.
  void LoadLayout(const std::string& layoutPath);
  // The same on a layout already read and parsed; layoutPath only names it in messages.
  void AddLayout(const vantu::branding_package::LayoutDocument& document,
                 const std::string& layoutPath);
  // Applies the layout rules to the first top-level node (or null), collecting references.
  void ValidateLayout(const vantu::branding_package::LayoutNode* top);
  // Tells the images AddImage will be given, in order, so that a large package's hash can be
  // taken while they are read; a build whose files then differ hashes after writing.
  void AnticipateImages(const std::vector<std::string>& imagePaths);
  // Reads one PNG or JPEG file, appends its name to resources and its record to components.
  void AddImage(const std::string& imagePath);
  // The same on an image in source; imagePath gives its name and names it in messages.
  void AddImage(vantu::branding_package::ByteSource& source, const std::string& imagePath);
  // Adds the record MakeImageRecord made of imagePath's bytes, so bytes read once are not
  // copied again.
  void AddImageRecord(vantu::branding_package::Record record, const std::string& imagePath);
  // Marks a file this build read some other way, which the output must not be either.
  void AddInput(const vantu::branding_package::FileId& id) { inputs_.push_back(id); }
  // Throws -505 listing every reference without an image and every image without a reference.
  void CheckReferences() const;
  // Checks the references, refuses an output that is the layout or an image read from a
  // file, then writes header, records, end record and the package size.
  void WritePackage();
  // SHA-256 of the written file as read back, in 64 lower-case hex digits: of the file this
  // writer wrote, read back before it replaced the output, or else of the file at outputPath.
  std::string GetPackageHash() const;

  // The file WritePackage writes and GetPackageHash reads back.
  std::string outputPath;
  // The records in file order: the layout record first, then one per image.
  std::vector<std::unique_ptr<cBP_COMPONENT_WRAPPER>> components;
  // Image names the layout refers to, in document order, duplicates kept.
  std::vector<std::string> references;
  // Image names of the added images, in command-line order, duplicates kept.
  std::vector<std::string> resources;

 private:
  // The files LoadLayout and AddImage read, which the output must not be.
  std::vector<vantu::branding_package::FileId> inputs_;
  // The digest WritePackage read back from its own file, when it replaced the output whole.
  std::optional<std::string> writtenHash_;
  // The hash taken as the records are made, when AnticipateImages expects a large package;
  // declared after components, so that it stops before they go.
  std::unique_ptr<vantu::branding_package::RunningDigest> running_;
};
