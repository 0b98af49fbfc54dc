#include "inspect/lsp/language_server.h"

#include <unistd.h>

#include <csignal>
#include <iostream>

#include "base/version.h"

namespace vantu::branding_package {

namespace {

// JSON-RPC's and the protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;

// Text document sync: the client sends the ranges that changed.
constexpr int kIncrementalSync = 2;

}  // namespace

int LanguageServer::Run(MessageReader& input) {
  while (!exit_) {
    const Incoming incoming = input.Next();
    if (incoming.kind == Incoming::Kind::kEnd) break;  // the client went away
    if (incoming.kind == Incoming::Kind::kBad) {
      SendError(nullptr, kInvalidRequest, incoming.problem);
    } else {
      Receive(incoming.body);
    }
    if (!out_) return 1;  // nobody reads any more
    // Typing sends a change a key: diagnostics wait for the last one waiting.
    if (!input.Pending()) PublishChanged();
  }
  return exit_.value_or(shutdown_ ? 0 : 1);
}

void LanguageServer::Receive(const std::string& body) {
  const Json message = Json::parse(body, nullptr, false);
  if (message.is_discarded()) return SendError(nullptr, kParseError, "the message is not JSON");
  if (!message.is_object())
    return SendError(nullptr, kInvalidRequest, "the message is not an object");
  const auto id = message.find("id");
  const bool request = id != message.end();
  if (request && !id->is_number_integer() && !id->is_string()) {
    return SendError(nullptr, kInvalidRequest, "the id is not a number or a string");
  }
  const auto method = message.find("method");
  if (method == message.end() || !method->is_string()) {
    // A response to a request of ours (the watcher registration) needs nothing.
    if (request && (message.contains("result") || message.contains("error"))) return;
    return SendError(request ? *id : Json(nullptr), kInvalidRequest, "the message has no method");
  }
  const Json params = message.value("params", Json::object());
  const std::string name = *method;
  if (!request) {
    try {
      Notice(name, params);
    } catch (const std::exception&) {
      // A notification has no answer; a malformed one changes nothing.
    }
    return;
  }
  try {
    Send({{"jsonrpc", "2.0"}, {"id", *id}, {"result", Answer(name, params)}});
  } catch (const Failure& failure) {
    SendError(*id, failure.code, failure.message);
  } catch (const Json::exception& e) {
    SendError(*id, kInvalidParams,
              std::string("the parameters are not as the method takes them: ") + e.what());
  } catch (const std::exception& e) {
    SendError(*id, kInternalError, e.what());
  }
}

Json LanguageServer::Answer(const std::string& method, const Json& params) {
  if (method == "initialize") {
    initialized_ = true;
    watchRegistration_ = params.value(
        "/capabilities/workspace/didChangeWatchedFiles/dynamicRegistration"_json_pointer, false);
    showsDocuments_ = params.value("/capabilities/window/showDocument/support"_json_pointer, false);
    // The policy file to read, as --config names one: {"config": "FILE"}.
    if (const auto options = params.find("initializationOptions");
        options != params.end() && options->is_object() && options->contains("config")) {
      CheckRequest request;
      request.config = options->at("config").get<std::string>();
      session_ = CheckSession(request);
    }
    return {
        {"capabilities",
         {{"positionEncoding", "utf-16"},
          {"textDocumentSync", {{"openClose", true}, {"change", kIncrementalSync}, {"save", true}}},
          {"completionProvider", {{"triggerCharacters", {"<", " ", "\"", ">"}}}},
          {"hoverProvider", true},
          {"definitionProvider", true},
          {"documentSymbolProvider", true},
          {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
          {"executeCommandProvider", {{"commands", {std::string(kSelectCommand)}}}}}},
        {"serverInfo", {{"name", "branding-package-inspect"}, {"version", kVersion}}}};
  }
  if (!initialized_) throw Failure{kServerNotInitialized, "initialize comes first"};
  if (shutdown_) throw Failure{kInvalidRequest, "the server is shutting down"};
  if (method == "shutdown") {
    shutdown_ = true;
    return nullptr;
  }
  if (method == "workspace/executeCommand") {
    if (params.at("command") != kSelectCommand) {
      throw Failure{kInvalidParams, "no command " + params.at("command").dump()};
    }
    // A client that can show a document with a selection is asked to; another has nothing
    // the server could do for it.
    const Json& arguments = params.at("arguments");
    if (showsDocuments_) {
      Send({{"jsonrpc", "2.0"},
            {"id", "select-" + std::to_string(++requests_)},
            {"method", "window/showDocument"},
            {"params",
             {{"uri", arguments.at(0)}, {"selection", arguments.at(1)}, {"takeFocus", true}}}});
    }
    return nullptr;
  }
  // Only a branding layout gets answers: an editor may attach the server to every XML file.
  static const std::set<std::string> kAnswered = {
      "textDocument/completion", "textDocument/hover", "textDocument/definition",
      "textDocument/documentSymbol", "textDocument/codeAction"};
  if (kAnswered.count(method) != 0 && !IsBrandingLayout(Named(params).text)) {
    if (method == "textDocument/completion")
      return {{"isIncomplete", false}, {"items", Json::array()}};
    if (method == "textDocument/documentSymbol" || method == "textDocument/codeAction") {
      return Json::array();
    }
    return nullptr;
  }
  if (method == "textDocument/completion") {
    Document& document = Named(params);
    return Completion(Analysed(document), OffsetOf(document, params.at("position")));
  }
  if (method == "textDocument/hover") {
    Document& document = Named(params);
    return Hover(Analysed(document), OffsetOf(document, params.at("position")));
  }
  if (method == "textDocument/definition") {
    Document& document = Named(params);
    return Definition(Analysed(document), OffsetOf(document, params.at("position")));
  }
  if (method == "textDocument/documentSymbol") return DocumentSymbols(Analysed(Named(params)));
  if (method == "textDocument/codeAction") {
    Document& document = Named(params);
    const Json& range = params.at("range");
    const std::size_t begin = OffsetOf(document, range.at("start"));
    const std::size_t end = OffsetOf(document, range.at("end"));
    return CodeActions(Analysed(document), params.at("textDocument").at("uri"), begin,
                       std::max(begin, end),
                       params.value("/context/diagnostics"_json_pointer, Json::array()));
  }
  throw Failure{kMethodNotFound, "no method " + method};
}

void LanguageServer::Notice(const std::string& method, const Json& params) {
  if (method == "exit") {
    exit_ = shutdown_ ? 0 : 1;
    return;
  }
  if (!initialized_ || shutdown_) return;
  if (method == "initialized" && watchRegistration_) {
    // Images saved on disk change the findings of the layouts that name them.
    const Json watcher = {{"globPattern", "**/*.{png,jpg,jpeg,PNG,JPG,JPEG}"}};
    const Json policy = {{"globPattern", "**/.branding-lint"}};
    Send({{"jsonrpc", "2.0"},
          {"id", "watchedFiles"},
          {"method", "client/registerCapability"},
          {"params",
           {{"registrations",
             {{{"id", "watchedFiles"},
               {"method", "workspace/didChangeWatchedFiles"},
               {"registerOptions", {{"watchers", {watcher, policy}}}}}}}}}});
    return;
  }
  if (method == "textDocument/didOpen") {
    const Json& item = params.at("textDocument");
    const std::string uri = item.at("uri");
    documents_[uri] = {PathOfUri(uri).value_or(uri), item.at("text"), nullptr, false};
    return;
  }
  if (method == "textDocument/didChange") {
    const auto found = documents_.find(params.at("textDocument").at("uri"));
    if (found == documents_.end()) return;
    Document& document = found->second;
    for (const Json& change : params.at("contentChanges")) {
      const std::string text = change.at("text");
      if (!change.contains("range")) {
        document.text = text;
      } else {
        const TextPositions positions(document.text);
        const Json& range = change.at("range");
        const auto begin =
            positions.Offset({range.at("start").at("line"), range.at("start").at("character")});
        const auto end =
            positions.Offset({range.at("end").at("line"), range.at("end").at("character")});
        if (!begin || !end || *end < *begin) continue;  // a range the text does not have
        document.text.replace(*begin, *end - *begin, text);
      }
      document.analysis.reset();
      document.published = false;
    }
    return;
  }
  if (method == "textDocument/didSave") {
    // The policy file beside it may have changed too.
    const auto found = documents_.find(params.at("textDocument").at("uri"));
    if (found != documents_.end()) {
      found->second.analysis.reset();
      found->second.published = false;
    }
    return;
  }
  if (method == "textDocument/didClose") {
    const std::string uri = params.at("textDocument").at("uri");
    if (documents_.erase(uri) != 0) Publish(uri, Json::array());
    return;
  }
  if (method == "workspace/didChangeWatchedFiles") {
    // An image or a policy file changed: every layout is checked again.
    for (auto& [uri, document] : documents_) {
      document.analysis.reset();
      document.published = false;
    }
  }
}

LanguageServer::Document& LanguageServer::Named(const Json& params) {
  const std::string uri = params.at("textDocument").at("uri");
  const auto found = documents_.find(uri);
  if (found == documents_.end()) throw Failure{kInvalidParams, "the document is not open: " + uri};
  return found->second;
}

std::size_t LanguageServer::OffsetOf(Document& document, const Json& position) {
  const std::size_t line = position.at("line");
  const std::size_t character = position.at("character");
  const auto offset = TextPositions(document.text).Offset({line, character});
  if (!offset) throw Failure{kInvalidParams, "the document has no line " + std::to_string(line)};
  return *offset;
}

const Analysis& LanguageServer::Analysed(Document& document) {
  if (!document.analysis) document.analysis = Analyse(document.path, document.text, session_);
  return *document.analysis;
}

void LanguageServer::PublishChanged() {
  // Tracked apart from the analysis: a request may have made it before the publishing.
  for (auto& [uri, document] : documents_) {
    if (document.published) continue;
    Publish(uri, IsBrandingLayout(document.text) ? Diagnostics(Analysed(document)) : Json::array());
    document.published = true;
  }
}

void LanguageServer::Publish(const std::string& uri, Json diagnostics) {
  Send({{"jsonrpc", "2.0"},
        {"method", "textDocument/publishDiagnostics"},
        {"params", {{"uri", uri}, {"diagnostics", std::move(diagnostics)}}}});
}

void LanguageServer::Send(const Json& message) {
  // Bytes that are not UTF-8 are replaced, so that no message fails to be written.
  WriteMessage(out_, message.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void LanguageServer::SendError(const Json& id, int code, const std::string& message) {
  Send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

int ServeLanguage() {
  // A client that goes away ends the server through a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  MessageReader input(STDIN_FILENO);
  LanguageServer server(std::cout);
  return server.Run(input);
}

}  // namespace vantu::branding_package
