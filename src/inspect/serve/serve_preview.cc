#include "inspect/serve/serve_preview.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <thread>

#include "base/descriptor.h"
#include "base/folder_of.h"
#include "base/shared_library.h"
#include "base/shown.h"
#include "base/trust.h"
#include "image/image_format.h"
#include "inspect/commands/commands.h"
#include "inspect/model/found_images.h"
#include "inspect/model/lint_config.h"
#include "inspect/serve/page_server.h"

namespace vantu::branding_package {

namespace {

constexpr char kModuleName[] = "branding-package-http.so";

std::atomic<bool> stopAsked{false};

extern "C" void AskStop(int /*signal*/) { stopAsked = true; }

// Where the HTTP module is: beside the executable in a build tree, and where it is installed.
// Never the working folder: without /proc/self/exe, only the installed path.
std::vector<std::string> ModulePaths() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {std::string(BP_MODULE_INSTALLED) + "/" + kModuleName};
  const std::filesystem::path dir = exe.parent_path();
  return {(dir / kModuleName).string(), (dir / BP_MODULE_DIR / kModuleName).string()};
}

// Why the module at path must not be loaded: code another user could have written.
std::optional<std::string> UntrustedModule(const std::string& path) {
  const Descriptor module(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!module.IsOpen()) return std::nullopt;  // the loader says why
  if (auto why = TrustOfFile(module.Get(), path).why) return path + ": not loaded: it is " + *why;
  return std::nullopt;
}

// The page and its version, shared with the module's threads.
class LivePage {
 public:
  // Keeps page as the next version, which it carries (kVersionMark), so that a stream the
  // page opens late starts from the page's version, not the server's.
  void Set(std::string page) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++version_;
      const std::size_t mark = page.find(kVersionMark);
      if (mark != std::string::npos) {
        page.replace(mark, std::strlen(kVersionMark),
                     std::string(kVersionMark, std::strlen(kVersionMark) - 2) +
                         std::to_string(version_) + "\"");
      }
      page_ = std::move(page);
    }
    changed_.notify_all();
  }
  std::pair<std::string, std::uint64_t> Get() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return {page_, version_};
  }
  std::uint64_t Changed(std::uint64_t seen, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return version_ != seen || stopAsked; });
    return version_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string page_;
  std::uint64_t version_ = 0;
};

// Changes in folders, by inotify: editors save by writing a new file and renaming it over the
// old one, so the folders are watched, not the files.
class FolderWatch {
 public:
  FolderWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  // Watches folders and no others; the first that cannot be watched is said in problem.
  void Set(const std::set<std::string>& folders, std::string& problem) {
    if (!fd_.IsOpen()) {
      problem = std::string("cannot watch the layout's folder: ") + std::strerror(errno);
      return;
    }
    for (auto it = watches_.begin(); it != watches_.end();) {
      if (folders.count(it->first) == 0) {
        inotify_rm_watch(fd_.Get(), it->second);
        it = watches_.erase(it);
      } else {
        ++it;
      }
    }
    for (const std::string& folder : folders) {
      if (watches_.count(folder) > 0) continue;
      const int watch = inotify_add_watch(
          fd_.Get(), folder.c_str(),
          IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_ATTRIB);
      if (watch < 0) {
        problem =
            "cannot watch " + Shown(folder) + ": " + std::strerror(errno) +
            (errno == ENOSPC ? " (the inotify watches are used up: fs.inotify.max_user_watches)"
                             : "");
        return;
      }
      watches_[folder] = watch;
    }
  }
  // Whether a file relevant names changed within timeout milliseconds.
  bool Wait(int timeout, const std::function<bool(std::string_view)>& relevant) {
    pollfd watch{fd_.Get(), POLLIN, 0};
    if (poll(&watch, 1, timeout) <= 0) return false;
    alignas(inotify_event) char buffer[16 << 10];
    bool any = false;
    ssize_t got = 0;
    while ((got = read(fd_.Get(), buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < got;) {
        inotify_event event{};
        std::memcpy(&event, buffer + at, sizeof event);
        const char* name = buffer + at + sizeof(inotify_event);
        if (event.len > 0 && relevant(std::string_view(name))) any = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
      }
    }
    return any;
  }

 private:
  Descriptor fd_;
  std::map<std::string, int> watches_;  // folder, its watch
};

// The folder path is in, as inotify takes it ("." for a bare name).
std::string WatchedFolderOf(const std::string& path) {
  const std::string folder = FolderOf(path);
  return folder.empty() ? "." : folder;
}

}  // namespace

int ServePreview(const std::string& layoutPath, const std::vector<std::string>& imagePaths,
                 const std::optional<std::string>& config, int port, std::ostream& out,
                 std::ostream& err) {
  // The page: made again from the files at each change; while the layout cannot be previewed,
  // the last page that could, with the reason on top. Each page names the files and folders
  // it was made from, and the watches follow: a folder the policy names later is watched.
  CheckRequest request = PreviewRequest(config);
  request.live = true;  // each save builds the page again: unchanged images are not read again
  CheckSession session(request);
  std::string lastGood;
  std::set<std::string> watched;
  std::set<std::string> names = {kConfigName};
  std::string watchProblem;
  FolderWatch watch;
  // A file given as a link is saved where the link leads: that folder is watched too.
  auto watchFile = [&](const std::string& path) {
    watched.insert(WatchedFolderOf(path));
    names.insert(std::filesystem::path(path).filename().string());
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (!error) {
      watched.insert(WatchedFolderOf(target.string()));
      names.insert(target.filename().string());
    }
  };
  auto make = [&]() -> std::string {
    const LayoutPreview preview =
        MakeLayoutPreview(session, layoutPath, imagePaths, PageKind::kLive);
    watched.clear();
    watchFile(layoutPath);
    for (const std::string& folder : preview.folders) watched.insert(folder.empty() ? "." : folder);
    for (const std::string& file : preview.dependencies) watchFile(file);
    for (const std::string& image : imagePaths) watchFile(image);
    if (auto found = config ? config : FindConfig(layoutPath)) watchFile(*found);
    watch.Set(watched, watchProblem);
    if (!preview.page) return LiveProblems(lastGood, preview.report);
    lastGood = *preview.page;
    return lastGood;
  };
  LivePage live;
  live.Set(make());
  const auto relevant = [&](std::string_view name) {
    return names.count(std::string(name)) > 0 || FormatOfExtension(name).has_value();
  };
  if (!watchProblem.empty()) {
    err << "Error: " << watchProblem << std::endl;
    return static_cast<int>(Status::kIo);
  }

  ServePagesFunction serve = nullptr;
  std::string problems;
  std::unique_ptr<SharedLibrary> module;
  for (const std::string& path : ModulePaths()) {
    if (auto why = UntrustedModule(path)) {
      problems += "\n  " + Shown(*why);
      continue;
    }
    module = std::make_unique<SharedLibrary>(path.c_str());
    module->Find(kServePagesSymbol, serve);
    if (module->Complete()) break;
    problems += "\n  " + module->Problem();
    serve = nullptr;
  }
  if (serve == nullptr) {
    err << "Error: cannot load the preview server " << kModuleName << ":" << problems << std::endl;
    return static_cast<int>(Status::kIo);
  }

  stopAsked = false;
  struct sigaction ask {};
  ask.sa_handler = AskStop;
  struct sigaction oldInt {};
  struct sigaction oldTerm {};
  sigaction(SIGINT, &ask, &oldInt);
  sigaction(SIGTERM, &ask, &oldTerm);
  std::atomic<bool> failed{false};
  PageServerHooks hooks;
  hooks.port = port;
  hooks.listening = [&](int bound) {
    out << "Serving the preview of " << Shown(layoutPath) << " at http://127.0.0.1:" << bound
        << "/ (Ctrl-C ends it)" << std::endl;
  };
  hooks.page = [&] { return live.Get(); };
  hooks.changed = [&](std::uint64_t seen, std::chrono::milliseconds wait) {
    return live.Changed(seen, wait);
  };
  hooks.stopping = [&] { return stopAsked.load() || failed.load(); };
  hooks.failed = [&](const std::string& problem) {
    err << "Error: " << problem << std::endl;
    failed = true;
  };
  std::atomic<bool> served{false};
  int status = 0;
  std::thread http([&] {
    status = serve(&hooks);
    served = true;
  });
  while (!stopAsked && !served) {
    if (!watch.Wait(200, relevant)) continue;
    // An editor's save is several events: the page is made once they settle.
    while (watch.Wait(30, relevant)) {
    }
    live.Set(make());
    if (!watchProblem.empty()) {
      err << "Error: " << watchProblem << std::endl;
      stopAsked = true;
      http.join();
      sigaction(SIGINT, &oldInt, nullptr);
      sigaction(SIGTERM, &oldTerm, nullptr);
      return static_cast<int>(Status::kIo);
    }
  }
  stopAsked = true;
  http.join();
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  return status == 0 ? 0 : static_cast<int>(Status::kIo);
}

}  // namespace vantu::branding_package
