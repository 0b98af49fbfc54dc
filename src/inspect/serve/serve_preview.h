// preview --serve: the preview page of a layout on 127.0.0.1, made again at each save of the
// layout, its images or its policy file, and pushed to the open page.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vantu::branding_package {

// Serves the live page of the layout at layoutPath (with imagePaths, or when none are given
// the images it names, found as build finds them) on port (0: a free one) until SIGINT or
// SIGTERM; prints the address on out, problems on err. 0 when ended so.
int ServePreview(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
                 const std::optional<std::string>& config, int port, std::ostream& out,
                 std::ostream& err);

}  // namespace vantu::branding_package
