// What the companion and its HTTP module say to each other: the module serves one page and its
// event stream on loopback; the companion makes the page and says when it changes. The module
// is opened only by preview --serve, since the HTTP library and the TLS libraries it brings
// cost more to load than a typical build.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace vantu::branding_package {

struct PageServerHooks {
  int port = 0;  // 0: a free one
  // Called once the port is bound, with its number.
  std::function<void(int port)> listening;
  // The page as it stands, and its version.
  std::function<std::pair<std::string, std::uint64_t>()> page;
  // Waits up to wait for a version other than seen; the version then.
  std::function<std::uint64_t(std::uint64_t seen, std::chrono::milliseconds wait)> changed;
  // Whether to stop serving.
  std::function<bool()> stopping;
  // Why serving failed, said once.
  std::function<void(const std::string& problem)> failed;
};

// The module's one entry: serves until stopping() says so; 0, or nonzero after failed().
using ServePagesFunction = int (*)(const PageServerHooks* hooks);
constexpr char kServePagesSymbol[] = "bp_serve_pages";

}  // namespace vantu::branding_package
