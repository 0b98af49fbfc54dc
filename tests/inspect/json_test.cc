#include "inspect/json.h"

#include <string>

#include <gtest/gtest.h>

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

// Bytes that are not UTF-8 must not reach the output as they are, or it is no JSON.
TEST(JsonString, InvalidUtf8BecomesEscapedBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xFF", "\"\\u00ff\""},
      {"\xC0\x80", "\"\\u00c0\\u0080\""},          // overlong
      {"\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // surrogate
      {"\xE2\x82", "\"\\u00e2\\u0082\""},          // cut short
      {"\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},  // above U+10FFFF
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json);
}

}  // namespace
