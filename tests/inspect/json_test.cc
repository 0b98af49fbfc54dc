#include "inspect/commands/json.h"

#include <functional>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/shown.h"
#include "inspect/commands/commands.h"
#include "test_support.h"

namespace {

using vantu::branding_package::JsonString;

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsValidUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\t\r\x01\x7f", "\"\\n\\t\\r\\u0001\\u007f\""},
      {std::string("nul\0", 4), "\"nul\\u0000\""},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json);
}

// Bytes that are not UTF-8 must not reach the output as they are, or it is no JSON; each
// becomes a lone low surrogate, which no character is written as.
TEST(JsonString, InvalidUtf8BecomesEscapedBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xFF", "\"\\udcff\""},
      {"\xC0\x80", "\"\\udcc0\\udc80\""},                        // overlong
      {"\xED\xA0\x80", "\"\\udced\\udca0\\udc80\""},             // surrogate
      {"\xE2\x82", "\"\\udce2\\udc82\""},                        // cut short
      {"\xF4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},  // above U+10FFFF
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json);
}

// No two different names print alike, in JSON or as text; a path's backslashes stay as given
// where they start no escape.
TEST(Shown, NoTwoNamesPrintAlike) {
  namespace bp = vantu::branding_package;
  const std::string names[] = {"\xE9.png", "\xC3\xA9.png", "\\xe9.png", "\\\xE9.png", "a\x1b",
                               "a\\x1b",   "a\\\x1b",      "a\\\\x1b",  "a\\",        "a\\\\"};
  std::set<std::string> shown;
  std::set<std::string> json;
  for (const std::string& name : names) {
    EXPECT_TRUE(shown.insert(bp::Shown(name)).second) << bp::Shown(name);
    EXPECT_TRUE(json.insert(JsonString(name)).second) << JsonString(name);
  }
  EXPECT_EQ(bp::Shown("C:\\brand\\logo.jpg"), "C:\\brand\\logo.jpg");
  EXPECT_EQ(bp::Shown("\xE9\xC3\xA9"), "\\xe9\xC3\xA9");
  // C1 controls, U+009B (CSI) among them, as their bytes; U+00A0 on is text.
  EXPECT_EQ(bp::Shown("a\xC2\x9B"
                      "31mb\xC2\x80\xC2\x9F\xC2\xA0"),
            "a\\xc2\\x9b31mb\\xc2\\x80\\xc2\\x9f\xC2\xA0");
}

// Every control byte a stored name or text can hold (all but 0x00, which ends a string).
std::string ControlBytes() {
  std::string bytes;
  for (int c = 1; c < 0x20; ++c) bytes += static_cast<char>(c);
  return bytes + "\x7f";
}

// One JSON line: no raw control byte before its final line end.
void ExpectOneEscapedLine(const std::string& json, const char* command) {
  ASSERT_FALSE(json.empty()) << command;
  EXPECT_EQ(json.back(), '\n') << command;
  for (std::size_t i = 0; i + 1 < json.size(); ++i) {
    const auto c = static_cast<unsigned char>(json[i]);
    EXPECT_TRUE(c >= 0x20 && c != 0x7F) << command << ": raw byte " << int{c} << " at " << i;
  }
  EXPECT_NE(json.find("\\u0001\\u0002"), std::string::npos) << command;
  EXPECT_NE(json.find("\\u001f\\u007f"), std::string::npos) << command;
}

// list, verify and lint write every control byte of names and texts escaped.
TEST(JsonOutput, EveryCommandEscapesEveryControlByte) {
  namespace bp = vantu::branding_package;
  const std::string name = "i" + ControlBytes() + ".png";
  const std::string layout = "<vantu-client-branding version=\"1.0\"><app-name>" + ControlBytes() +
                             "</app-name></vantu-client-branding>";
  const std::string package = testing_support::PackageBytes(
      {testing_support::LayoutRecordBytes(layout),
       testing_support::ImageRecordBytes(name, 0, testing_support::PngBytes(100))});
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "l.xml", layout);
  testing_support::WriteFile(dir / name, testing_support::PngBytes(100));
  const std::pair<const char*, std::function<void(std::ostream&, std::ostream&)>> commands[] = {
      {"list",
       [&](std::ostream& out, std::ostream& err) {
         bp::MemorySource source(package);
         bp::ListPackage(source, "p" + ControlBytes(), {true, true}, out, err);
       }},
      {"verify",
       [&](std::ostream& out, std::ostream& err) {
         bp::MemorySource source(package);
         bp::VerifyOptions options;
         options.json = true;
         bp::VerifyPackage(source, "p" + ControlBytes(), options, out, err);
       }},
      {"lint",
       [&](std::ostream& out, std::ostream& err) {
         bp::LintOptions options;
         options.format = bp::LintFormat::kJson;
         bp::LintLayout(dir / "l.xml", {dir / name}, options, out, err);
       }},
  };
  for (const auto& [command, run] : commands) {
    std::ostringstream out;
    std::ostringstream err;
    run(out, err);
    ExpectOneEscapedLine(out.str(), command);
  }
}

}  // namespace
