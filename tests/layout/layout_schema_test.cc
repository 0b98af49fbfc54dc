#include "layout/layout_schema.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidxml/rapidxml.hpp>

namespace {

using vantu::branding_package::XmlLayoutSchema;

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LayoutSchema, SizeAndCharacterSet) {
  EXPECT_EQ(XmlLayoutSchema.size(), 2726u);
  for (char c : XmlLayoutSchema) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "byte " << int(byte);
  }
  EXPECT_EQ(XmlLayoutSchema.substr(XmlLayoutSchema.size() - 12), "</xs:schema>");
}

// Each line is indented four spaces per open element, and by nothing else.
TEST(LayoutSchema, IndentationFollowsNesting) {
  const std::vector<std::string> lines = Lines(XmlLayoutSchema);
  ASSERT_EQ(lines.size(), 48u);
  EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  int level = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t indent = line.find_first_not_of(' ');
    ASSERT_NE(indent, std::string::npos) << "blank line " << i + 1;
    EXPECT_NE(line.back(), ' ') << "trailing space on line " << i + 1;
    const std::string tag = line.substr(indent);
    const bool closing = tag.rfind("</", 0) == 0;
    const bool selfClosing = tag.size() >= 3 && tag.compare(tag.size() - 3, 3, " />") == 0;
    if (closing) --level;
    EXPECT_EQ(indent, static_cast<std::size_t>(4 * level)) << "line " << i + 1;
    if (!closing && !selfClosing) ++level;
  }
  EXPECT_EQ(level, 0);
}

TEST(LayoutSchema, WellFormedWithSchemaNamespaceAndLayoutRoot) {
  std::string text(XmlLayoutSchema);
  rapidxml::xml_document<char> document;
  ASSERT_NO_THROW(document.parse<rapidxml::parse_default>(text.data()));
  const rapidxml::xml_node<char>* schema = document.first_node("xs:schema");
  ASSERT_NE(schema, nullptr);
  ASSERT_NE(schema->first_attribute("xmlns:xs"), nullptr);
  EXPECT_STREQ(schema->first_attribute("xmlns:xs")->value(), "http://www.w3.org/2001/XMLSchema");
  EXPECT_STREQ(schema->first_attribute("elementFormDefault")->value(), "qualified");
  const rapidxml::xml_node<char>* root = schema->first_node("xs:element");
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->first_attribute("name")->value(), "vantu-client-branding");
  EXPECT_EQ(Lines(XmlLayoutSchema)[1].size(), 121u);
}

}  // namespace
