#include "base/folder_of.h"

#include <filesystem>

namespace vantu::branding_package {

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "";
  return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

std::string InFolder(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return std::string(folder) + (folder.back() == '/' ? "" : "/") + std::string(name);
}

std::string WholePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path whole =
      std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
  std::string text =
      error ? std::filesystem::path(path).lexically_normal().string() : whole.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool Within(std::string_view path, std::string_view root) {
  if (root == "/" || path == root) return true;
  return path.size() > root.size() && path.substr(0, root.size()) == root &&
         path[root.size()] == '/';
}

std::string PathUri(std::string_view path) {
  std::string uri = path.substr(0, 1) == "/" ? "file://" : "";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/';
    if (plain) {
      uri += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri;
}

}  // namespace vantu::branding_package
