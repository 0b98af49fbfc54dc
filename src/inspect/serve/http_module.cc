// The HTTP module: the preview page and its event stream on 127.0.0.1, nothing else, and to
// the user who runs it alone. On libmicrohttpd, which bounds what a hostile local client can
// hold: connections, the memory a request header may take, idle time; each request is
// answered on a connection of its own.
#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "base/descriptor.h"
#include "inspect/serve/page_server.h"

namespace {

using vantu::branding_package::Descriptor;
using vantu::branding_package::PageServerHooks;
using Clock = std::chrono::steady_clock;

// Bounds: connections at once (one thread each), event streams open at once, the memory of a
// connection (its request header must fit: a larger one is answered 431), seconds a
// connection may stay silent, and the time a whole request header may take to arrive.
constexpr unsigned kMaxConnections = 64;
constexpr int kMaxStreams = 4;
constexpr std::size_t kConnectionMemory = std::size_t{16} << 10;
constexpr unsigned kIdleSeconds = 10;
constexpr auto kHeaderDeadline = std::chrono::seconds(5);

// Whether a Host header names the address printed, 127.0.0.1 and the port: another name is a
// page of another site reaching the server through a name that resolves here (DNS
// rebinding), and "localhost" may lead a browser to [::1], where another user could listen.
bool OwnHost(const std::string& host, int port) {
  return host == "127.0.0.1:" + std::to_string(port) || (port == 80 && host == "127.0.0.1");
}

// The user whose socket connects from peer to port on 127.0.0.1, as the kernel's socket
// diagnostics say it (the creator of the socket); none when they cannot say.
std::optional<uid_t> PeerUser(const sockaddr_in& peer, std::uint16_t port) {
  const Descriptor netlink(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!netlink.IsOpen()) return std::nullopt;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = AF_INET;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0U;
  // The connecting socket: its own end is the peer, its other end this server.
  message.request.id.idiag_sport = peer.sin_port;
  message.request.id.idiag_dport = htons(port);
  message.request.id.idiag_src[0] = peer.sin_addr.s_addr;
  message.request.id.idiag_dst[0] = htonl(INADDR_LOOPBACK);
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(netlink.Get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
    return std::nullopt;
  }
  alignas(nlmsghdr) char answer[8192];
  const ssize_t got = recv(netlink.Get(), answer, sizeof answer, 0);
  if (got < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg)))) return std::nullopt;
  nlmsghdr header{};
  std::memcpy(&header, answer, sizeof header);
  if (header.nlmsg_type != SOCK_DIAG_BY_FAMILY ||
      header.nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)) ||
      header.nlmsg_len > static_cast<std::size_t>(got)) {
    return std::nullopt;
  }
  inet_diag_msg found{};
  std::memcpy(&found, answer + NLMSG_HDRLEN, sizeof found);
  if (found.id.idiag_sport != peer.sin_port || found.id.idiag_src[0] != peer.sin_addr.s_addr) {
    return std::nullopt;
  }
  return static_cast<uid_t>(found.idiag_uid);
}

// Whether a request comes from this server's own page (or a person's address bar), not from a
// page of another origin: such a request could take the few event streams there are.
bool SameOrigin(const std::string& host, const char* origin, const char* fetchSite) {
  if (fetchSite != nullptr && std::strcmp(fetchSite, "same-origin") != 0 &&
      std::strcmp(fetchSite, "none") != 0) {
    return false;
  }
  return origin == nullptr || origin == "http://" + host;
}

// A connection's state, kept from its start to its close.
struct Connection {
  Clock::time_point started;
  int fd = -1;
  bool answered = false;  // its request header arrived whole
};

// What the daemon's callbacks share.
struct Server {
  const PageServerHooks* hooks = nullptr;
  int port = 0;  // the one bound
  std::atomic<int> streams{0};
  std::mutex mutex;                                         // guards connections
  std::map<const MHD_Connection*, Connection> connections;  // by the library's connection
};

// Takes a connection only from a socket of the user who serves: another user's are closed
// as they are accepted, so they can neither read the page nor hold a connection the page needs.
MHD_Result OwnUserOnly(void* cls, const sockaddr* address, socklen_t length) {
  const auto* server = static_cast<const Server*>(cls);
  if (address == nullptr || length < sizeof(sockaddr_in) || address->sa_family != AF_INET) {
    return MHD_NO;
  }
  sockaddr_in peer{};
  std::memcpy(&peer, address, sizeof peer);
  const std::optional<uid_t> user = PeerUser(peer, static_cast<std::uint16_t>(server->port));
  return user && *user == geteuid() ? MHD_YES : MHD_NO;
}

// An event stream's place: the version it last announced.
struct Stream {
  Server* server;
  std::uint64_t seen;
};

MHD_Result Queue(MHD_Connection* connection, unsigned status, const std::string& body,
                 const char* type) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, "Content-Type", type);
  MHD_add_response_header(response, "Cache-Control", "no-store");
  // One request a connection: nothing sent after a request is ever read as another.
  MHD_add_response_header(response, "Connection", "close");
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

MHD_Result Refuse(MHD_Connection* connection, unsigned status, const char* why) {
  return Queue(connection, status, why, "text/plain; charset=utf-8");
}

ssize_t NextEvent(void* cls, std::uint64_t /*position*/, char* buffer, std::size_t max) {
  auto* stream = static_cast<Stream*>(cls);
  const PageServerHooks* hooks = stream->server->hooks;
  const std::uint64_t now = hooks->changed(stream->seen, std::chrono::milliseconds(500));
  if (hooks->stopping()) return MHD_CONTENT_READER_END_OF_STREAM;
  // A comment line keeps the stream open and finds a page that went away.
  const std::string_view event = now != stream->seen ? "data: changed\n\n" : ": waiting\n\n";
  stream->seen = now;
  const std::size_t size = event.copy(buffer, std::min(max, event.size()));
  return static_cast<ssize_t>(size);
}

void EndStream(void* cls) {
  auto* stream = static_cast<Stream*>(cls);
  --stream->server->streams;
  delete stream;
}

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char* /*version*/, const char* /*upload*/, std::size_t* /*uploadSize*/,
                  void** /*requestContext*/) {
  auto* server = static_cast<Server*>(cls);
  {
    const std::lock_guard<std::mutex> lock(server->mutex);
    auto it = server->connections.find(connection);
    if (it != server->connections.end()) it->second.answered = true;
  }
  auto header = [&](const char* name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  };
  const char* host = header("Host");
  if (host == nullptr || !OwnHost(host, server->port)) {
    return Refuse(connection, 403, "only the address printed, 127.0.0.1 and its port, is served\n");
  }
  const std::string path = url;
  if (path != "/" && path != "/events") return Refuse(connection, 404, "not found\n");
  if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0) {
    return Refuse(connection, 405, "only GET is served\n");
  }
  if (!SameOrigin(host, header("Origin"), header("Sec-Fetch-Site"))) {
    return Refuse(connection, 403, "only the preview's own page is served\n");
  }
  if (path == "/") {
    return Queue(connection, 200, server->hooks->page().first, "text/html; charset=utf-8");
  }
  if (++server->streams > kMaxStreams) {
    --server->streams;
    return Refuse(connection, 503, "too many open pages\n");
  }
  // From the version of the page that opens it, so that a save before it connected is told.
  std::uint64_t seen = server->hooks->page().second;
  if (const char* since = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "since")) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long given = std::strtoull(since, &end, 10);
    if (errno == 0 && end != since && *end == '\0' && given <= seen) seen = given;
  }
  auto* stream = new Stream{server, seen};
  MHD_Response* response =
      MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 1024, NextEvent, stream, EndStream);
  if (response == nullptr) {
    EndStream(stream);
    return MHD_NO;
  }
  MHD_add_response_header(response, "Content-Type", "text/event-stream");
  MHD_add_response_header(response, "Cache-Control", "no-store");
  MHD_add_response_header(response, "Connection", "close");
  // The stream writes every 500 ms; it is not idle.
  MHD_set_connection_option(connection, MHD_CONNECTION_OPTION_TIMEOUT, 0U);
  const MHD_Result queued = MHD_queue_response(connection, 200, response);
  MHD_destroy_response(response);
  return queued;
}

void Notify(void* cls, MHD_Connection* connection, void** /*socketContext*/,
            MHD_ConnectionNotificationCode code) {
  auto* server = static_cast<Server*>(cls);
  const std::lock_guard<std::mutex> lock(server->mutex);
  // The library's connection is the key Answer finds it by; it lives from start to close.
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    server->connections[connection] = {Clock::now(), info != nullptr ? info->connect_fd : -1,
                                       false};
  } else {
    server->connections.erase(connection);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int bp_serve_pages(const PageServerHooks* hooks) {
  // The socket is made here, so that a port in use is said as the system says it; no
  // SO_REUSEPORT, so that a second preview cannot share the port.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(hooks->port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int yes = 1;
  socklen_t length = sizeof address;
  if (listener < 0 || setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    hooks->failed("cannot listen on 127.0.0.1:" + std::to_string(hooks->port) + ": " +
                  std::strerror(errno));
    if (listener >= 0) close(listener);
    return 1;
  }
  Server server;
  server.hooks = hooks;
  server.port = ntohs(address.sin_port);
  // Whose a connection is must be known, or no one's is served.
  sockaddr_in self = address;
  if (PeerUser(self, 0) != geteuid()) {
    hooks->failed(
        "cannot tell whose connections are (the kernel's socket diagnostics, "
        "NETLINK_SOCK_DIAG, do not answer): the page is served to its user alone");
    close(listener);
    return 1;
  }
  MHD_Daemon* daemon = MHD_start_daemon(
      MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD, 0, OwnUserOnly, &server,
      Answer, &server, MHD_OPTION_LISTEN_SOCKET, listener, MHD_OPTION_CONNECTION_LIMIT,
      kMaxConnections, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
      MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_NOTIFY_CONNECTION, Notify, &server,
      MHD_OPTION_END);
  if (daemon == nullptr) {
    // Whether the library closed the socket is not said: it is left open, not closed twice.
    hooks->failed("cannot start the preview server on 127.0.0.1:" + std::to_string(hooks->port));
    return 1;
  }
  hooks->listening(ntohs(address.sin_port));
  while (!hooks->stopping()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // A request header still arriving past its deadline ends its connection: slow clients
    // cannot hold the connections a page needs.
    const std::lock_guard<std::mutex> lock(server.mutex);
    const Clock::time_point now = Clock::now();
    for (auto& [context, connection] : server.connections) {
      if (!connection.answered && connection.fd >= 0 &&
          now - connection.started > kHeaderDeadline) {
        shutdown(connection.fd, SHUT_RDWR);
        connection.fd = -1;
      }
    }
  }
  MHD_stop_daemon(daemon);  // closes the listening socket too
  return 0;
}
