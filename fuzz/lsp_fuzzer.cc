// Arbitrary bytes as a message to the language server, then as a layout open in it, asked
// for every answer at places the bytes choose.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "inspect/lsp/language_server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace bp = vantu::branding_package;
  using bp::Json;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;
  bp::LanguageServer server(out);
  server.Receive(bytes);
  const auto send = [&](const Json& message) {
    server.Receive(message.dump(-1, ' ', false, Json::error_handler_t::replace));
  };
  const std::string uri = "file:///nonexistent/layout.xml";
  send({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", Json::object()}});
  send({{"jsonrpc", "2.0"},
        {"method", "textDocument/didOpen"},
        {"params", {{"textDocument", {{"uri", uri}, {"version", 1}, {"text", bytes}}}}}});
  server.PublishChanged();
  int id = 2;
  for (std::size_t i = 0; i < 4; ++i) {
    const Json position = {{"line", i < size ? data[i] % 8 : 0},
                           {"character", i + 4 < size ? data[i + 4] : 0}};
    for (const char* method : {"textDocument/completion", "textDocument/hover",
                               "textDocument/definition", "textDocument/codeAction"}) {
      send({{"jsonrpc", "2.0"},
            {"id", id++},
            {"method", method},
            {"params",
             {{"textDocument", {{"uri", uri}}},
              {"position", position},
              {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", position}}},
              {"context", {{"diagnostics", Json::array()}}}}}});
    }
  }
  send({{"jsonrpc", "2.0"},
        {"id", id},
        {"method", "textDocument/documentSymbol"},
        {"params", {{"textDocument", {{"uri", uri}}}}}});
  return 0;
}
