#include "inspect/model/found_images.h"

#include <sys/stat.h>

#include <set>

#include "base/folder_of.h"

#include "inspect/model/checks.h"

namespace vantu::branding_package {

std::vector<std::string> ImageFolders(const std::string& layoutPath,
                                      const std::vector<std::string>& dirs) {
  if (!dirs.empty()) return dirs;
  return {FolderOf(layoutPath)};
}

std::vector<std::string> ImageFolders(const std::string& layoutPath,
                                      const std::vector<std::string>& commandLine,
                                      const std::vector<std::string>& policyFile) {
  return ImageFolders(layoutPath, !commandLine.empty() ? commandLine : policyFile);
}

std::vector<std::string> FindImages(const LayoutDocument& document,
                                    const std::vector<std::string>& folders,
                                    std::vector<std::string>* missing) {
  std::vector<std::string> found;
  std::set<std::string> seen;
  for (const LayoutDocument::Reference& reference : document.References()) {
    if (ReferenceHoldsFolder(reference.name) || !seen.insert(reference.name).second) continue;
    bool there = false;
    for (const std::string& folder : folders) {
      const std::string path = InFolder(folder, reference.name);
      struct stat status {};
      if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        found.push_back(path);
        there = true;
        break;
      }
    }
    if (!there && missing != nullptr) missing->push_back(reference.name);
  }
  return found;
}

}  // namespace vantu::branding_package
