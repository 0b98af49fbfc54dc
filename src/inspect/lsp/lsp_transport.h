// The Language Server Protocol's base protocol: each message a header of "Name: value" lines
// ending in a blank line, then a body of Content-Length bytes.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace vantu::branding_package {

// The largest body read; a larger one is skipped, so memory stays bounded by the open
// documents whatever a client sends.
constexpr std::size_t kMaxMessageBytes = std::size_t{64} << 20;

// One read from the input.
struct Incoming {
  enum class Kind {
    kMessage,  // body holds it
    kBad,      // problem says what was wrong; the reader has moved past it
    kEnd       // the input ended (the client went away)
  } kind;
  std::string body;
  std::string problem;
};

// Reads messages from a descriptor, which it does not own.
class MessageReader {
 public:
  explicit MessageReader(int fd) : fd_(fd) {}

  // The next message, waiting for it.
  Incoming Next();
  // Whether input is waiting to be read, so that work on an older state can be skipped.
  bool Pending();

 private:
  // A malformed header's report, the reader moved to the next message.
  Incoming Malformed(std::size_t start, std::string problem);
  // Reads more input into the buffer; false at its end.
  bool Fill();
  // Drops bytes up to the next header that starts a message.
  void Resynchronise();
  // Drops count bytes of a body too large to keep; false when the input ends first.
  bool Skip(std::size_t count);

  int fd_;
  std::string buffer_;
  std::size_t at_ = 0;          // the first unread byte of buffer_
  bool resynchronise_ = false;  // the last header was malformed
};

// Writes body as one message.
void WriteMessage(std::ostream& out, const std::string& body);

}  // namespace vantu::branding_package
