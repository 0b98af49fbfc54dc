// Paths taken apart and put together the one way every tool does it.
#pragma once

#include <string>
#include <string_view>

namespace vantu::branding_package {

// The folder path names its last part in, without a trailing '/': "" for a bare name (the
// working folder, named as the path names it), "/" for a name in the root.
std::string FolderOf(std::string_view path);

// name in folder: "folder/name", the bare name in the working folder ("").
std::string InFolder(std::string_view folder, std::string_view name);

// path made whole and plain: links resolved as far as it exists, the rest with its dots taken
// out.
std::string WholePath(const std::string& path);

// Whether path (whole) is root (whole) or inside it.
bool Within(std::string_view path, std::string_view root);

// path as a URI reference: every byte but letters, digits, "-._~/" percent-encoded; an
// absolute path as a file: URI.
std::string PathUri(std::string_view path);

}  // namespace vantu::branding_package
