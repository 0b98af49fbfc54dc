#include "inspect/lsp/lsp_transport.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <ostream>

#include "base/ascii.h"

namespace vantu::branding_package {

namespace {

// A header longer than this is not one a client sends.
constexpr std::size_t kMaxHeaderBytes = 4096;
constexpr std::size_t kReadSize = 64 << 10;
constexpr std::string_view kLengthName = "content-length";

}  // namespace

bool MessageReader::Fill() {
  // What was read is dropped, so the buffer holds at most one message and a read.
  buffer_.erase(0, at_);
  at_ = 0;
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kReadSize);
  ssize_t got = 0;
  do {
    got = read(fd_, buffer_.data() + old, kReadSize);
  } while (got < 0 && errno == EINTR);
  buffer_.resize(old + static_cast<std::size_t>(got > 0 ? got : 0));
  return got > 0;
}

bool MessageReader::Pending() {
  if (at_ < buffer_.size()) return true;
  pollfd input{fd_, POLLIN, 0};
  return poll(&input, 1, 0) > 0;
}

void MessageReader::Resynchronise() {
  // The next length named starts the next message (after a body of unknown length it
  // follows the body directly).
  for (;;) {
    const std::size_t next = AsciiLower(buffer_.substr(at_)).find("content-length:");
    if (next != std::string::npos) {
      at_ += next;
      return;
    }
    // Keep what could be the start of the name.
    at_ = std::max(at_, buffer_.size() - std::min(buffer_.size() - at_, kLengthName.size()));
    if (!Fill()) {
      at_ = buffer_.size();
      return;
    }
  }
}

bool MessageReader::Skip(std::size_t count) {
  while (count > 0) {
    if (at_ == buffer_.size() && !Fill()) return false;
    const std::size_t taken = std::min(count, buffer_.size() - at_);
    at_ += taken;
    count -= taken;
  }
  return true;
}

Incoming MessageReader::Malformed(std::size_t start, std::string problem) {
  // The next message may start inside what was taken for this one's header (after a body
  // longer than its Content-Length said); it is looked for when asked for, not now, so that
  // the problem is answered at once.
  at_ = start + 1;
  resynchronise_ = true;
  return {Incoming::Kind::kBad, "", std::move(problem)};
}

Incoming MessageReader::Next() {
  if (resynchronise_) {
    resynchronise_ = false;
    Resynchronise();
  }
  // The header: up to the blank line.
  std::size_t end = std::string::npos;
  while ((end = buffer_.find("\r\n\r\n", at_)) == std::string::npos) {
    if (buffer_.size() - at_ > kMaxHeaderBytes) {
      const std::size_t start = at_;
      return Malformed(start, "a message header longer than 4096 bytes");
    }
    if (!Fill()) return {Incoming::Kind::kEnd, "", ""};
  }
  const std::size_t start = at_;
  const std::string header = buffer_.substr(at_, end - at_);
  at_ = end + 4;
  std::optional<std::size_t> length;
  std::size_t lineStart = 0;
  while (lineStart <= header.size()) {
    std::size_t lineEnd = header.find("\r\n", lineStart);
    if (lineEnd == std::string::npos) lineEnd = header.size();
    const std::string line = header.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 2;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
      return Malformed(start, "a header line without a colon: " + line.substr(0, 80));
    }
    if (AsciiLower(std::string(AsciiTrimmed(line.substr(0, colon)))) != kLengthName) continue;
    const std::string value(AsciiTrimmed(line.substr(colon + 1)));
    if (value.empty() || value.size() > 18 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
      return Malformed(start, "Content-Length is not a number: " + value.substr(0, 80));
    }
    length = std::stoull(value);
  }
  if (!length) return Malformed(start, "a message without a Content-Length");
  if (*length > kMaxMessageBytes) {
    if (!Skip(*length)) return {Incoming::Kind::kEnd, "", ""};
    return {Incoming::Kind::kBad, "",
            "a message of " + std::to_string(*length) + " bytes, more than the " +
                std::to_string(kMaxMessageBytes) + " a message may have"};
  }
  while (buffer_.size() - at_ < *length) {
    if (!Fill()) return {Incoming::Kind::kEnd, "", ""};
  }
  Incoming message{Incoming::Kind::kMessage, buffer_.substr(at_, *length), ""};
  at_ += *length;
  return message;
}

void WriteMessage(std::ostream& out, const std::string& body) {
  out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
  out.flush();
}

}  // namespace vantu::branding_package
