#include <sys/stat.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/utf8.h"
#include "inspect/lsp/language_server.h"
#include "test_support.h"

namespace {

using testing_support::PngOfSize;
using testing_support::TempDir;
using testing_support::WriteFile;
using vantu::branding_package::FileUri;
using vantu::branding_package::Incoming;
using vantu::branding_package::Json;
using vantu::branding_package::kMaxMessageBytes;
using vantu::branding_package::LanguageServer;
using vantu::branding_package::LineBreakOf;
using vantu::branding_package::MessageReader;
using vantu::branding_package::PathOfUri;
using vantu::branding_package::TextPositions;
using vantu::branding_package::Utf16Units;

// What a reader makes of bytes, written from a thread so that a large input need not fit the
// pipe: "body" for each message, "!problem" for each bad one.
std::vector<std::string> ReadAll(const std::string& bytes, std::size_t padding = 0) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
      // A body larger than the bound follows the header, in pieces.
      if (done == bytes.size() && padding > 0) {
        const std::string piece(1 << 20, 'x');
        for (std::size_t left = padding; left > 0;) {
          const std::size_t size = std::min(left, piece.size());
          if (write(fds[1], piece.data(), size) != static_cast<ssize_t>(size)) break;
          left -= size;
        }
        padding = 0;
        const std::string after = "Content-Length: 2\r\n\r\n[]";
        if (write(fds[1], after.data(), after.size()) < 0) break;
      }
    }
    close(fds[1]);
  });
  MessageReader reader(fds[0]);
  std::vector<std::string> got;
  for (Incoming next = reader.Next(); next.kind != Incoming::Kind::kEnd; next = reader.Next()) {
    got.push_back(next.kind == Incoming::Kind::kMessage ? next.body : "!" + next.problem);
  }
  writer.join();
  close(fds[0]);
  return got;
}

TEST(LspTransport, MessagesAndTheFaultsAMessageCanHave) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> read;
  };
  const std::vector<Case> cases = {
      {"two, with another header",
       "Content-Length: 2\r\n\r\n{}content-type: x\r\nCONTENT-LENGTH: 3\r\n\r\n[1]",
       {"{}", "[1]"}},
      {"a length too short",
       "Content-Length: 1\r\n\r\n{}Content-Length: 2\r\n\r\n[]",
       {"{", "!a message without a Content-Length", "[]"}},
      {"no length",
       "X-Y: 1\r\n\r\n{}Content-Length: 2\r\n\r\n[]",
       {"!a message without a Content-Length", "[]"}},
      {"a length not a number",
       "Content-Length: -1\r\n\r\n{}",
       {"!Content-Length is not a number: -1"}},
      {"the input ends in the body", "Content-Length: 9\r\n\r\n{}", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadAll(c.bytes), c.read) << c.name;
  // A body past the bound is skipped, not kept; the next message is read.
  const std::size_t size = kMaxMessageBytes + 1;
  EXPECT_EQ(ReadAll("Content-Length: " + std::to_string(size) + "\r\n\r\n", size),
            (std::vector<std::string>{"!a message of 67108865 bytes, more than the 67108864 a "
                                      "message may have",
                                      "[]"}));
}

TEST(LspText, PositionsCountUtf16AndUrisEscape) {
  const std::string text =
      "a\xC3\xA9"
      "b\n\xE6\x9D\xB1\xE4\xBA\xAC<x>\n\xF0\x9D\x84\x9E"
      "c";
  const TextPositions positions(text);
  struct Case {
    std::size_t offset, line, character;
  };
  for (const Case& c : {Case{3, 0, 2}, Case{11, 1, 2}, Case{19, 2, 2}, Case{20, 2, 3}}) {
    const auto at = positions.At(c.offset);
    EXPECT_EQ(at.line, c.line) << c.offset;
    EXPECT_EQ(at.character, c.character) << c.offset;
    EXPECT_EQ(positions.Offset({c.line, c.character}), c.offset);
  }
  EXPECT_EQ(positions.Offset({0, 99}), 4u);  // past a line's end: its end
  EXPECT_FALSE(positions.Offset({3, 0}));
  for (const std::string lineBreak : {"\n", "\r\n", "\r"}) {
    const std::string broken = "a\xC3\xA9" + lineBreak + "<x>" + lineBreak + lineBreak + "c";
    const TextPositions lines(broken);
    const std::size_t c = broken.size() - 1;
    EXPECT_EQ(lines.At(c).line, 3u);
    EXPECT_EQ(lines.Offset({3, 0}), c);
    EXPECT_EQ(lines.Offset({0, 99}), 3u);  // the line's end, before its break
    EXPECT_EQ(lines.Offset({2, 5}), c - lineBreak.size());
    EXPECT_FALSE(lines.Offset({4, 0}));
    EXPECT_EQ(LineBreakOf(broken), lineBreak);
  }
  // A long line counts as many short ones: every offset of a line of mixed widths.
  std::string line;
  while (line.size() < 20000) line += "x\xC3\xA9\xF0\x9D\x84\x9E\xE6\x9D\xB1\xFF";
  const TextPositions long_(line);
  for (std::size_t offset = 0; offset <= line.size(); offset += 97) {
    std::size_t start = offset;
    while (start < line.size() && (static_cast<unsigned char>(line[start]) & 0xC0) == 0x80) ++start;
    const std::size_t units = Utf16Units(std::string_view(line).substr(0, start));
    EXPECT_EQ(long_.At(start).character, units) << start;
    EXPECT_EQ(long_.Offset({0, units}), start) << start;
  }
  EXPECT_EQ(FileUri("/a b/\xC3\xA9.xml"), "file:///a%20b/%C3%A9.xml");
  EXPECT_EQ(PathOfUri("file:///a%20b/%C3%A9.xml"), "/a b/\xC3\xA9.xml");
  for (const char* bad : {"file:///a%2", "file:///a%00", "http://x/a", "file://host/a"}) {
    EXPECT_FALSE(PathOfUri(bad)) << bad;
  }
}

// A client in the same process: messages in, what the server sent out.
class Session {
 public:
  explicit Session(const TempDir& dir, Json capabilities = Json::object(),
                   Json initializationOptions = nullptr)
      : uri_(FileUri(dir / "layout.xml")) {
    Json params = {{"capabilities", std::move(capabilities)}};
    if (!initializationOptions.is_null()) params["initializationOptions"] = initializationOptions;
    Call("initialize", params);
  }
  // The result of a request, or its error.
  Json Call(const std::string& method, Json params) {
    server_.Receive(
        Json{{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}}.dump());
    const std::vector<Json> sent = Sent();
    return sent.empty() ? Json() : sent.back().value("result", sent.back().value("error", Json()));
  }
  void Notify(const std::string& method, Json params) {
    server_.Receive(Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump());
  }
  // The diagnostics published once the client goes idle.
  Json Diagnostics() {
    server_.PublishChanged();
    const std::vector<Json> sent = Sent();
    return sent.empty() ? Json() : sent.back()["params"]["diagnostics"];
  }
  void Open(const std::string& text) {
    Notify(
        "textDocument/didOpen",
        {{"textDocument", {{"uri", uri_}, {"languageId", "xml"}, {"version", 1}, {"text", text}}}});
  }
  Json At(const std::string& method, std::size_t line, std::size_t character) {
    return Call(method, {{"textDocument", {{"uri", uri_}}},
                         {"position", {{"line", line}, {"character", character}}}});
  }
  // The code actions offered at a place.
  Json ActionsAt(std::size_t line, std::size_t character) {
    const Json at = {{"line", line}, {"character", character}};
    return Call("textDocument/codeAction", {{"textDocument", {{"uri", uri_}}},
                                            {"range", {{"start", at}, {"end", at}}},
                                            {"context", {{"diagnostics", Json::array()}}}});
  }
  // text with an action's edits applied, the last first, as a client applies one version's.
  std::string Applied(std::string text, const Json& action) const {
    const Json& edits = action["edit"]["changes"][uri_];
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
      const TextPositions positions(text);
      const Json& range = (*it)["range"];
      const std::size_t begin =
          *positions.Offset({range["start"]["line"], range["start"]["character"]});
      const std::size_t end = *positions.Offset({range["end"]["line"], range["end"]["character"]});
      text.replace(begin, end - begin, (*it)["newText"].get<std::string>());
    }
    return text;
  }
  const std::string& Uri() const { return uri_; }
  LanguageServer& Server() { return server_; }
  // Every message the server sent since the last look.
  std::vector<Json> Sent() {
    std::vector<Json> messages;
    std::string bytes = out_.str();
    out_.str("");
    while (!bytes.empty()) {
      const std::size_t blank = bytes.find("\r\n\r\n");
      const std::size_t length = std::stoul(bytes.substr(16, blank - 16));
      messages.push_back(Json::parse(bytes.substr(blank + 4, length)));
      bytes.erase(0, blank + 4 + length);
    }
    return messages;
  }

 private:
  std::string uri_;
  std::ostringstream out_;
  LanguageServer server_{out_};
  int id_ = 0;
};

const char kLayout[] =
    "<vantu-client-branding version=\"1.0\">\n"
    "<app-name>Caf\xC3\xA9 \xE6\x9D\xB1</app-name><app-icon>icon.png</app-icon>\n"
    "<toolbar-menu>\n  <about-item>About</about-item>\n</toolbar-menu>\n"
    "<!-- branding-lint: allow image-shown-smaller -->\n"
    "<about title=\"About\"><line align=\"center\"><logo>wide.png</logo>"
    "<hyperlink rel=\"x\" url=\"htps://example.com\">x</hyperlink></line></about>\n"
    "</vantu-client-branding>\n";

// text with each line feed made the line break given.
std::string WithBreaks(const std::string& text, const std::string& lineBreak) {
  std::string out;
  for (const char c : text) out += c == '\n' ? lineBreak : std::string(1, c);
  return out;
}

// What range selects in text.
std::string Selected(const std::string& text, const Json& range) {
  const TextPositions positions(text);
  const std::size_t begin =
      *positions.Offset({range["start"]["line"], range["start"]["character"]});
  const std::size_t end = *positions.Offset({range["end"]["line"], range["end"]["character"]});
  return text.substr(begin, end - begin);
}

// Lines end at LF, CRLF and CR, as the protocol counts them: the same places, completions and
// fixes in each, a fix's new line in the document's own break.
class LanguageServerLines : public testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Breaks, LanguageServerLines, testing::Values("\n", "\r\n", "\r"));

TEST_P(LanguageServerLines, AnswersFromLintsFindings) {
  const std::string layout = WithBreaks(kLayout, GetParam());
  TempDir dir;
  WriteFile(dir / "icon.png", PngOfSize(64, 64));
  WriteFile(dir / "wide.png", PngOfSize(800, 100));
  WriteFile(dir / "A\xE9.png", PngOfSize(8, 8));
  Session session(dir);
  session.Open(layout);
  const Json diagnostics = session.Diagnostics();
  std::vector<std::string> codes;
  for (const Json& d : diagnostics) {
    codes.push_back(d.value("code", "") + "@" + d["range"]["start"].dump() + "-" +
                    d["range"]["end"]["character"].dump());
  }
  // An element's finding spans its name; the idle suppression's hint, the comment.
  EXPECT_EQ(codes, (std::vector<std::string>{"schema@{\"character\":0,\"line\":2}-13",
                                             "suppression-unused@{\"character\":0,\"line\":5}-49",
                                             "link-url@{\"character\":63,\"line\":6}-73",
                                             "schema@{\"character\":63,\"line\":6}-73"}));

  // Completion: what the schema allows where the cursor is, align's values, image files.
  auto labels = [&](std::size_t line, std::size_t character) {
    std::string all;
    const Json list = session.At("textDocument/completion", line, character);
    for (const Json& item : list["items"]) {
      all += item["label"].get<std::string>() + " ";
    }
    return all;
  };
  EXPECT_EQ(labels(6, 22), "line ");
  EXPECT_EQ(labels(6, 35), "left center right ");
  EXPECT_EQ(labels(6, 40), "left center right ");  // at the value's end, before its quote
  EXPECT_EQ(labels(5, 10), "");                    // in a comment: nothing
  // A name that is not UTF-8 arrives with U+FFFD: editors' JSON readers refuse a lone
  // surrogate, which the reports write.
  EXPECT_EQ(labels(6, 48), "A\xEF\xBF\xBD.png icon.png wide.png ");
  EXPECT_EQ(labels(1, 26), "");  // within the app name: no image there
  // In content with nothing typed: the elements allowed there, the "<" included.
  const Json inMenu = session.At("textDocument/completion", 3, 0)["items"];
  std::string offered;
  for (const Json& item : inMenu) offered += item["textEdit"]["newText"].get<std::string>() + " ";
  EXPECT_EQ(offered, "<about-item></about-item> <quit-item></quit-item> ");
  // After an element, what is written starts past its end tag.
  const Json after = session.At("textDocument/completion", 3, 32)["items"];
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after[0]["textEdit"]["range"]["start"], (Json{{"line", 3}, {"character", 32}}));

  // Hover and definition on a reference; hover on an element with a finding explains it.
  const std::string hover = session.At("textDocument/hover", 6, 50)["contents"]["value"];
  EXPECT_NE(hover.find("PNG, 800x100 pixels"), std::string::npos) << hover;
  EXPECT_NE(hover.find("draws it 606x76, scaled down from 800x100"), std::string::npos) << hover;
  EXPECT_EQ(session.At("textDocument/definition", 1, 40)["uri"], FileUri(dir / "icon.png"));
  const std::string explained = session.At("textDocument/hover", 2, 3)["contents"]["value"];
  EXPECT_NE(explained.find("schema: warning"), std::string::npos) << explained;
  EXPECT_EQ(session.At("textDocument/symbol", 0, 0)["code"], -32601);
  EXPECT_EQ(session.Call("textDocument/documentSymbol",
                         {{"textDocument", {{"uri", session.Uri()}}}})[0]["name"],
            "Caf\xC3\xA9 \xE6\x9D\xB1");

  // Each quick fix, applied, gives the layout it promises; a placeholder it leaves is what
  // its command selects.
  for (const auto& [line, fixed] : std::vector<std::pair<std::size_t, std::string>>{
           {2,
            "  <about-item>About</about-item>\n  <quit-item>(quit text)</quit-item>\n"
            "</toolbar-menu>"},
           {6, "url=\"https://example.com\""},
           {5, "</toolbar-menu>\n<about title"}}) {
    const Json actions = session.ActionsAt(line, 70);
    ASSERT_EQ(actions.size(), 1u) << line << actions.dump();
    const std::string text = session.Applied(layout, actions[0]);
    EXPECT_NE(text.find(WithBreaks(fixed, GetParam())), std::string::npos) << text;
    if (line != 2) {
      EXPECT_FALSE(actions[0].contains("command")) << line;
      continue;
    }
    const Json& command = actions[0]["command"];
    EXPECT_EQ(command["command"], "branding-package.select");
    EXPECT_EQ(command["arguments"][0], session.Uri());
    EXPECT_EQ(Selected(text, command["arguments"][1]), "(quit text)");
  }
}

// An image's finding stands at each reference to it, the app icon's and a logo's; a client
// that registers watchers is asked to watch the images and the policy file.
TEST(LanguageServer, ImageFindingsAtEveryReferenceAndWatchedFiles) {
  TempDir dir;
  WriteFile(dir / "icon.png", "not an image");
  Session session(dir,
                  {{"workspace", {{"didChangeWatchedFiles", {{"dynamicRegistration", true}}}}}});
  session.Notify("initialized", Json::object());
  std::string globs;
  for (const Json& message : session.Sent()) {
    if (message.value("method", "") != "client/registerCapability") continue;
    for (const Json& watcher :
         message["params"]["registrations"][0]["registerOptions"]["watchers"]) {
      globs += watcher["globPattern"].get<std::string>() + " ";
    }
  }
  EXPECT_NE(globs.find("**/.branding-lint "), std::string::npos) << globs;
  EXPECT_NE(globs.find("png,"), std::string::npos) << globs;
  session.Open(
      "<vantu-client-branding version=\"1.0\"><app-name>A</app-name>\n"
      "<app-icon>icon.png</app-icon><toolbar-menu><about-item>A</about-item><quit-item>Q"
      "</quit-item></toolbar-menu>\n<about title=\"A\"><line><logo>icon.png</logo></line>"
      "</about></vantu-client-branding>");
  std::vector<std::size_t> lines;
  for (const Json& d : session.Diagnostics()) {
    if (d.value("code", "") == "image-format") lines.push_back(d["range"]["start"]["line"]);
  }
  EXPECT_EQ(lines, (std::vector<std::size_t>{1, 2}));
}

// A misspelt element is renamed in both its tags, its text kept; no second quit-item is added
// beside a misspelt one, and one added copies the document's own words.
TEST(LanguageServer, MisspeltElementRenamedNotDoubled) {
  TempDir dir;
  WriteFile(dir / "icon.png", PngOfSize(32, 32));
  Session session(dir);
  const std::string layout =
      "<vantu-client-branding version=\"1.0\"><app-name>A</app-name><app-icon>icon.png</app-icon>\n"
      "<toolbar-menu><about-item>Om</about-item><quit-itme>Afslut</quit-itme></toolbar-menu>\n"
      "<about title=\"A\"><line align=\"left\"><text>t</text></line></about>"
      "</vantu-client-branding>";
  session.Open(layout);
  const Json actions = session.ActionsAt(1, 50);
  ASSERT_EQ(actions.size(), 1u) << actions.dump();
  EXPECT_EQ(actions[0]["title"], "Rename quit-itme to quit-item");
  EXPECT_EQ(actions[0]["edit"]["changes"][session.Uri()].size(), 2u);
  const std::string text = session.Applied(layout, actions[0]);
  EXPECT_NE(text.find("<quit-item>Afslut</quit-item></toolbar-menu>"), std::string::npos) << text;
  session.Notify("textDocument/didChange", {{"textDocument", {{"uri", session.Uri()}}},
                                            {"contentChanges", {{{"text", text}}}}});
  EXPECT_EQ(session.Diagnostics(), Json::array());
  EXPECT_EQ(session.ActionsAt(1, 20), Json::array());  // the menu has its quit-item

  // A quit-item out of its place lends the menu its text, as written, with nothing to select.
  const std::string misplaced =
      "<vantu-client-branding version=\"1.0\"><app-name>A</app-name><app-icon>icon.png</app-icon>\n"
      "<toolbar-menu><about-item>Om</about-item></toolbar-menu>"
      "<quit-item> Afslut &amp; luk </quit-item>\n</vantu-client-branding>";
  session.Notify("textDocument/didChange", {{"textDocument", {{"uri", session.Uri()}}},
                                            {"contentChanges", {{{"text", misplaced}}}}});
  const Json added = session.ActionsAt(1, 20);
  ASSERT_EQ(added.size(), 1u) << added.dump();
  EXPECT_NE(session.Applied(misplaced, added[0])
                .find("<about-item>Om</about-item><quit-item>Afslut &amp; luk</quit-item>"),
            std::string::npos);
  EXPECT_FALSE(added[0].contains("command"));
}

// The select command asks a client that can show a document to select the range; another
// gets nothing; an unknown command is an error.
TEST(LanguageServer, SelectCommandShowsTheDocument) {
  TempDir dir;
  const Json range = {{"start", {{"line", 1}, {"character", 2}}},
                      {"end", {{"line", 1}, {"character", 5}}}};
  for (const bool shows : {true, false}) {
    Session session(dir, {{"window", {{"showDocument", {{"support", shows}}}}}});
    EXPECT_EQ(session.Call("workspace/executeCommand", {{"command", "x"}})["code"], -32602);
    session.Server().Receive(Json{
        {"jsonrpc", "2.0"},
        {"id", 7},
        {"method", "workspace/executeCommand"},
        {"params", {{"command", "branding-package.select"}, {"arguments", {session.Uri(), range}}}}}
                                 .dump());
    const std::vector<Json> sent = session.Sent();
    ASSERT_EQ(sent.size(), shows ? 2u : 1u);
    EXPECT_EQ(sent.back()["result"], nullptr);
    if (shows) {
      EXPECT_EQ(sent[0]["method"], "window/showDocument");
      EXPECT_EQ(sent[0]["params"]["selection"], range);
    }
  }
}

TEST(LanguageServer, ChangesImagesAndRequestsItCannotAnswer) {
  TempDir dir;
  WriteFile(dir / "icon.png", PngOfSize(32, 32));
  Session session(dir);
  // The name is one character outside the BMP: two UTF-16 units, four bytes.
  session.Open(
      "<vantu-client-branding version=\"1.0\"><app-name>\xF0\x9D\x84\x9E</app-name>"
      "<app-icon>icon.png</app-icon><toolbar-menu><about-item>A</about-item><quit-item>Q"
      "</quit-item></toolbar-menu><about title=\"A\"><line align=\"left\"><text>t</text></line>"
      "</about></vantu-client-branding>");
  const auto codes = [&] {
    std::string all;
    for (const Json& d : session.Diagnostics()) all += d.value("code", "") + " ";
    return all;
  };
  EXPECT_EQ(codes(), "");
  // An incremental change of the icon's name, in UTF-16 units past a character outside the BMP.
  const auto rename = [&](const std::string& name) {
    session.Notify("textDocument/didChange", {{"textDocument", {{"uri", session.Uri()}}},
                                              {"contentChanges",
                                               {{{"range",
                                                  {{"start", {{"line", 0}, {"character", 70}}},
                                                   {"end", {{"line", 0}, {"character", 74}}}}},
                                                 {"text", name}}}}});
  };
  rename("gone");
  EXPECT_EQ(codes(), "missing-image ");
  // A request in the same read as a change makes the analysis first: the new text's
  // diagnostics are published all the same.
  rename("icon");
  session.At("textDocument/hover", 0, 72);
  EXPECT_EQ(session.Diagnostics(), Json::array());
  EXPECT_EQ(session.Diagnostics(), Json());  // once
  rename("gone");
  EXPECT_EQ(codes(), "missing-image ");
  // An image saved over: checked again when the client says so.
  WriteFile(dir / "icon.png", "not an image");
  rename("icon");
  EXPECT_EQ(codes(), "image-format ");
  WriteFile(dir / "icon.png", PngOfSize(32, 32));
  EXPECT_EQ(session.Diagnostics(), Json());  // nothing changed that it knows of
  session.Notify("workspace/didChangeWatchedFiles",
                 {{"changes", {{{"uri", FileUri(dir / "icon.png")}, {"type", 2}}}}});
  EXPECT_EQ(session.Diagnostics(), Json::array());  // published again: no finding now

  EXPECT_EQ(
      session.Call("textDocument/hover", {{"textDocument", {{"uri", "file:///not/open"}}},
                                          {"position", {{"line", 0}, {"character", 0}}}})["code"],
      -32602);
  EXPECT_EQ(session.At("textDocument/hover", 9, 0)["code"], -32602);  // no such line
  EXPECT_EQ(session.Call("textDocument/hover", {{"textDocument", 5}})["code"], -32602);
  EXPECT_EQ(session.Call("no/such", Json::object())["code"], -32601);

  // Another XML document gets nothing of ours: no findings, completions, hover or fixes.
  Session pom(dir);
  pom.Open("<?xml version=\"1.0\"?>\n<!-- a build -->\n<project><modelVersion/></project>\n");
  EXPECT_EQ(pom.Diagnostics(), Json::array());
  EXPECT_EQ(pom.At("textDocument/completion", 2, 1)["items"], Json::array());
  EXPECT_EQ(pom.At("textDocument/hover", 2, 2), Json());
  EXPECT_EQ(pom.ActionsAt(2, 0), Json::array());
  for (const char* ours :
       {"", "<vantu-client-bra", "<!DOCTYPE x [<!ENTITY a \"b\">]>\n<vantu-client-branding/>",
        "<!DOCTYPE x [<!-- <b> --><!ENTITY a \"<i>\">]>\n<vantu-client-branding/>",
        "<?xml version=\"1.0\"?><![CDATA[<b>]]><vantu-client-branding>", "<!DOCTYPE x ["}) {
    EXPECT_TRUE(vantu::branding_package::IsBrandingLayout(ours)) << ours;
  }
  for (const char* theirs :
       {"<vantu-client-brandingx/>", "<!DOCTYPE p [<!ENTITY a \"<vantu-client-branding>\">]><p/>",
        "<!-- <vantu-client-branding> --><project/>"}) {
    EXPECT_FALSE(vantu::branding_package::IsBrandingLayout(theirs)) << theirs;
  }
  session.Server().Receive("{not json");
  session.Notify("exit", nullptr);
  EXPECT_EQ(session.Server().Exited(), 1);  // no shutdown came first
}

}  // namespace

// A policy file the server cannot trust is the one diagnostic, an error naming it, never
// findings judged without it; the policy named in the initialization options applies.
TEST(LanguageServer, PolicyThatCannotBeTrustedAndOneNamed) {
  TempDir dir;
  WriteFile(dir / ".branding-lint", "allow = empty-text\n");
  ASSERT_EQ(chmod((dir / ".branding-lint").c_str(), 0666), 0);
  WriteFile(dir / "team.policy", "deny = empty-text\n");
  const std::string layout =
      "<vantu-client-branding version=\"1.0\"><app-name></app-name><app-icon>icon.png"
      "</app-icon><toolbar-menu><about-item>A</about-item><quit-item>Q</quit-item>"
      "</toolbar-menu><about title=\"A\"/></vantu-client-branding>";
  Session found(dir);
  found.Open(layout);
  const Json diagnostics = found.Diagnostics();
  ASSERT_EQ(diagnostics.size(), 1U) << diagnostics.dump();
  EXPECT_EQ(diagnostics[0]["code"], "policy-unusable");
  EXPECT_EQ(diagnostics[0]["severity"], 1);
  EXPECT_NE(diagnostics[0]["message"].get<std::string>().find(
                ".branding-lint: policy file not trusted: it is writable by every user"),
            std::string::npos);
  Session named(dir, Json::object(), {{"config", dir / "team.policy"}});
  named.Open(layout);
  std::string codes;
  for (const Json& d : named.Diagnostics()) {
    codes += d.value("code", "") + ":" + std::to_string(d["severity"].get<int>()) + " ";
  }
  EXPECT_NE(codes.find("empty-text:1 "), std::string::npos) << codes;
  EXPECT_EQ(codes.find("policy-unusable"), std::string::npos) << codes;
}
