// The language server: the Language Server Protocol 3.17 over a descriptor and a stream, for
// layouts, answering from each open layout's analysis.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "inspect/lsp/lsp_analysis.h"
#include "inspect/lsp/lsp_features.h"
#include "inspect/lsp/lsp_transport.h"

namespace vantu::branding_package {

class LanguageServer {
 public:
  explicit LanguageServer(std::ostream& output) : out_(output) {}

  // Serves what input brings until the client says exit or goes away; the exit status: 0
  // after a shutdown, 1 without one.
  int Run(MessageReader& input);

  // Answers one message's body, as read.
  void Receive(const std::string& body);
  // Publishes the diagnostics of every document whose text changed since: called when no
  // message waits, so that typing is not held back by diagnostics of states already gone.
  void PublishChanged();
  // The exit status once the client said exit.
  std::optional<int> Exited() const { return exit_; }

 private:
  struct Document {
    std::string path;  // the file the URI names, or the URI itself when it names none
    std::string text;
    std::unique_ptr<Analysis> analysis;  // null when the text changed since
    bool published = false;              // its diagnostics of this text were sent
  };

  // A request's failure: an error response with code.
  struct Failure {
    int code;
    std::string message;
  };

  // A request's result; throws Failure.
  Json Answer(const std::string& method, const Json& params);
  // A notification's work.
  void Notice(const std::string& method, const Json& params);
  // The open document params names; throws Failure when it is not open.
  Document& Named(const Json& params);
  // The byte offset of params' position in document; throws Failure when there is none.
  std::size_t OffsetOf(Document& document, const Json& position);
  // document's analysis, made now when its text changed.
  const Analysis& Analysed(Document& document);
  void Publish(const std::string& uri, Json diagnostics);
  void Send(const Json& message);
  void SendError(const Json& id, int code, const std::string& message);

  std::ostream& out_;
  std::map<std::string, Document> documents_;  // by URI
  CheckSession session_{CheckRequest{}};       // each image read once while it stays as it was
  bool initialized_ = false;
  bool shutdown_ = false;
  std::optional<int> exit_;
  bool watchRegistration_ = false;  // the client registers file watchers when asked
  bool showsDocuments_ = false;     // the client shows a document with a selection when asked
  std::size_t requests_ = 0;        // requests sent to the client, to number the next
};

// Runs the server on standard input and output.
int ServeLanguage();

}  // namespace vantu::branding_package
