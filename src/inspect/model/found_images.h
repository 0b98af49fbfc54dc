// The images a layout names, found in folders as a build finds them.
#pragma once

#include <string>
#include <vector>

#include "layout/layout_document.h"

namespace vantu::branding_package {

// The folders a layout's images are looked for in: dirs, or the layout's own folder when
// none is given.
std::vector<std::string> ImageFolders(const std::string& layoutPath,
                                      const std::vector<std::string>& dirs);

// The one rule for where every surface looks: the command line's folders, else the policy
// file's, else the layout's own.
std::vector<std::string> ImageFolders(const std::string& layoutPath,
                                      const std::vector<std::string>& commandLine,
                                      const std::vector<std::string>& policyFile);

// Each distinct reference of document that names a file alone, in the order the layout first
// names it, as the path of the first of folders holding a regular file of that name (symbolic
// links followed); one found in no folder goes to missing, when given. A reference that holds
// a folder is neither found nor missing: lint reports it.
std::vector<std::string> FindImages(const LayoutDocument& document,
                                    const std::vector<std::string>& folders,
                                    std::vector<std::string>* missing = nullptr);

}  // namespace vantu::branding_package
