// The HTTP module: the preview page and its event stream on 127.0.0.1, nothing else.
#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "inspect/serve/page_server.h"

namespace {

using vantu::branding_package::PageServerHooks;

// Bounds: worker threads, event streams open at once, request body bytes.
constexpr int kThreads = 8;
constexpr int kMaxStreams = 4;
constexpr std::size_t kMaxBody = 1024;

// Whether a Host header names this machine's loopback: any other is a page of another site
// reaching the server through a name that resolves here (DNS rebinding).
bool LoopbackHost(const std::string& host) {
  std::string name = host;
  if (!name.empty() && name[0] == '[') {
    const std::size_t close = name.find(']');
    name = close == std::string::npos ? "" : name.substr(1, close - 1);
  } else if (const std::size_t colon = name.rfind(':'); colon != std::string::npos) {
    name = name.substr(0, colon);
  }
  return name == "127.0.0.1" || name == "localhost" || name == "::1";
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int bp_serve_pages(const PageServerHooks* hooks) {
  httplib::Server server;
  server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
  server.set_payload_max_length(kMaxBody);
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  std::atomic<int> streams{0};
  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    auto refuse = [&](int status, const char* why) {
      response.status = status;
      response.set_content(why, "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    };
    if (!LoopbackHost(request.get_header_value("Host"))) {
      return refuse(403, "only a Host of 127.0.0.1, localhost or [::1] is served\n");
    }
    if (request.path != "/" && request.path != "/events") return refuse(404, "not found\n");
    if (request.method != "GET" && request.method != "HEAD") {
      return refuse(405, "only GET is served\n");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.Get("/", [&](const httplib::Request&, httplib::Response& response) {
    response.set_header("Cache-Control", "no-store");
    response.set_content(hooks->page().first, "text/html; charset=utf-8");
  });
  server.Get("/events", [&](const httplib::Request&, httplib::Response& response) {
    if (++streams > kMaxStreams) {
      --streams;
      response.status = 503;
      response.set_content("too many open pages\n", "text/plain; charset=utf-8");
      return;
    }
    response.set_header("Cache-Control", "no-store");
    const std::uint64_t first = hooks->page().second;
    response.set_chunked_content_provider(
        "text/event-stream",
        [hooks, seen = first](std::size_t, httplib::DataSink& sink) mutable {
          const std::uint64_t now = hooks->changed(seen, std::chrono::milliseconds(500));
          if (hooks->stopping()) return false;
          // A comment line keeps the stream open and finds a page that went away.
          const std::string event = now != seen ? "data: changed\n\n" : ": waiting\n\n";
          seen = now;
          return sink.write(event.data(), event.size());
        },
        [&streams](bool) { --streams; });
  });
  const int port = hooks->port == 0
                       ? server.bind_to_any_port("127.0.0.1")
                       : (server.bind_to_port("127.0.0.1", hooks->port) ? hooks->port : -1);
  if (port <= 0) {
    hooks->failed("cannot listen on 127.0.0.1:" + std::to_string(hooks->port) + ": " +
                  std::strerror(errno));
    return 1;
  }
  hooks->listening(port);
  std::thread stopper([&] {
    while (!hooks->stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
  });
  server.listen_after_bind();
  stopper.join();
  return 0;
}
