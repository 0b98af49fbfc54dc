#include "inspect/commands/preview_page.h"

#include "layout/layout_document.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>

namespace {

using vantu::branding_package::IsClientLink;
using vantu::branding_package::PreviewFacts;
using vantu::branding_package::PreviewItem;
using vantu::branding_package::PreviewLine;
using vantu::branding_package::PreviewModel;
using vantu::branding_package::RenderPreviewPage;

// What the client opens: http and https with a host, mailto with an address; anything else,
// or a malformed one, stays text (and lint warns).
TEST(PreviewPage, OnlyWebAndMailLinksBecomeLinks) {
  for (const char* url : {"http://a", "HTTPS://a/b?c", "mailto:x@y", "https://host#top",
                          "https://u:p@h.example:8443/x", "http://[::1]:80/",
                          "https://b\xC3\xBC"
                          "cher.example/",
                          "mailto:a.b@c.example?subject=x"}) {
    EXPECT_TRUE(IsClientLink(url)) << url;
  }
  for (const char* url : {"javascript:alert(1)", " https://a", "data:text/html,x", "file:///etc",
                          "//host/x", "", "vbscript:x", "\thttp://a", "Https:", "https://",
                          "https:///path", "htps://a", "http://a b", "example.com", "mailto:x"}) {
    EXPECT_FALSE(IsClientLink(url)) << url;
  }
}

// lint says why, in words a person can act on.
TEST(PreviewPage, WhyALinkIsNotOpened) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "it is empty"},
      {"http://a b", "it holds a space or control byte"},
      {"https://a\x7F", "it holds a space or control byte"},
      {"example.com/x", "it has no scheme (http, https or mailto)"},
      {"htps://example.com/", "its scheme \"htps\" is not http, https or mailto"},
      {"JavaScript:x()", "its scheme \"javascript\" is not http, https or mailto"},
      {"https:example.com", "it names no host (https://host/)"},
      {"https:///path", "it names no host (https://host/)"},
      {"http://user@:80/", "it names no host (http://host/)"},
      {"http://a:99999/", "its port \"99999\" is not a number up to 65535"},
      {"http://a:/", "its port \"\" is not a number up to 65535"},
      {"http://exa_mple.com/", "its host \"exa_mple.com\" is not a host name"},
      {"http://a..b/", "its host \"a..b\" is not a host name"},
      {"mailto:x", "it names no address (mailto:name@host)"},
      {"mailto:@host", "it names no address (mailto:name@host)"},
      {"mailto:a@", "it names no address (mailto:name@host)"},
  };
  for (const auto& [url, why] : cases) {
    EXPECT_EQ(vantu::branding_package::LinkProblem(url).value_or("none"), why) << url;
  }
}

// Text from the layout never becomes markup: every text and attribute is escaped, control
// and non-UTF-8 bytes are shown, and an unsafe url stays text.
TEST(PreviewPage, LayoutTextIsNeverMarkup) {
  const std::string hostile = "<script>x</script>\"'&\x01\xFF";
  PreviewModel model;
  model.appName = model.aboutItem = model.quitItem = model.aboutTitle = hostile;
  model.minWidth = "12px\" onload=\"x";
  model.lines.push_back({"left\" onclick=\"x",
                         {{PreviewItem::Kind::kText, hostile, ""},
                          {PreviewItem::Kind::kHyperlink, hostile, "javascript:x"},
                          {PreviewItem::Kind::kLogo, hostile, ""}}});
  const PreviewFacts facts{hostile, 1, hostile, true, {}, {}, {}};
  const std::string page = RenderPreviewPage(model, facts);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("onclick"), std::string::npos);
  EXPECT_EQ(page.find("onload"), std::string::npos);
  EXPECT_EQ(page.find("href"), std::string::npos);
  EXPECT_EQ(page.find('\x01'), std::string::npos);
  EXPECT_EQ(page.find('\xFF'), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt;&quot;&#39;&amp;\\x01\\xff"),
            std::string::npos);
  EXPECT_NE(page.find("data-align=\"left\" style=\"text-align:left\""), std::string::npos);
}

// The page holds each image's data once, however often the layout shows it, and every
// drawing refers to the first image of its name.
// Only line elements are the About box's lines, as the client reads them: a misspelt sibling
// after the first line is not drawn.
TEST(PreviewPage, OnlyLinesAreDrawnAsLines) {
  const vantu::branding_package::LayoutDocument document(
      "<vantu-client-branding version=\"1.0\"><app-name>A</app-name><app-icon>i.png</app-icon>"
      "<toolbar-menu><about-item>A</about-item><quit-item>Q</quit-item></toolbar-menu>"
      "<about title=\"T\"><line><text>one</text></line><lines><text>typo</text></lines>"
      "<line align=\"right\"><text>two</text></line></about></vantu-client-branding>");
  const PreviewModel model = vantu::branding_package::ReadPreviewModel(document);
  std::string texts;
  for (const PreviewLine& line : model.lines) {
    for (const PreviewItem& item : line.items) texts += item.text + " ";
  }
  EXPECT_EQ(texts, "one two ");
}

// A line whose logos, side by side at the size drawn, are wider than the About box's 606
// pixels is marked, and only such a line.
TEST(PreviewPage, LineWiderThanTheAboutBoxIsMarked) {
  const std::pair<std::vector<std::uint32_t>, bool> cases[] = {
      {{493, 200}, true}, {{306, 301}, true}, {{306, 300}, false}, {{3000}, false}, {{}, false}};
  for (const auto& [widths, marked] : cases) {
    PreviewModel model;
    PreviewFacts facts{"x", 1, "", true, {}, "x", {}};
    PreviewLine line{"left", {}};
    for (std::size_t i = 0; i < widths.size(); ++i) {
      const std::string name = "l" + std::to_string(i) + ".png";
      line.items.push_back({PreviewItem::Kind::kLogo, name, ""});
      facts.images.push_back({name, 0, 1, {true, widths[i], 10, ""}, "", 0, 0});
    }
    model.lines.push_back(line);
    const std::string page = RenderPreviewPage(model, facts);
    EXPECT_EQ(page.find("mark-note line-too-wide") != std::string::npos, marked) << widths.size();
  }
}

TEST(PreviewPage, EachImageIsEmbeddedOnce) {
  PreviewModel model;
  model.appIcon = "a.png";
  model.lines.assign(300, PreviewLine{"left", {{PreviewItem::Kind::kLogo, "b.png", ""}}});
  const std::string a(3000, 'a');
  const std::string b(3000, 'b');
  const std::string package = a + b;
  PreviewFacts facts{"x", 1, "", true, {}, package, {}};
  auto image = [](const char* name, std::uint64_t at) {
    return vantu::branding_package::ImageFacts{name, 0, 3000, {true, 1, 1, ""}, "", 0, at};
  };
  facts.images = {image("a.png", 0), image("b.png", 3000), image("b.png", 0)};
  const std::string page = RenderPreviewPage(model, facts);
  EXPECT_LT(page.size(), 150'000u);  // 1.2 MB with the data in every drawing
  std::size_t drawings = 0;
  for (std::size_t at = page.find("<use href=\"#image-1\"/>"); at != std::string::npos;
       at = page.find("<use href=\"#image-1\"/>", at + 1)) {
    ++drawings;
  }
  EXPECT_EQ(drawings, 300u);
  EXPECT_NE(page.find("<use href=\"#image-0\"/>"), std::string::npos);
  EXPECT_EQ(page.find("<use href=\"#image-2\"/>"), std::string::npos);
}

// Every element of the page, with its attributes, fails when one is not in allowed.
void CheckMarkup(const xmlNode* node, const std::map<std::string, std::set<std::string>>& allowed) {
  for (; node != nullptr; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) {
      const std::string name(reinterpret_cast<const char*>(node->name));
      const auto element = allowed.find(name);
      EXPECT_NE(element, allowed.end()) << "element " << name;
      for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        const std::string attribute(reinterpret_cast<const char*>(a->name));
        EXPECT_TRUE(element != allowed.end() && element->second.count(attribute) == 1)
            << name << " has " << attribute;
      }
    }
    CheckMarkup(node->children, allowed);
  }
}

// Parsed as a browser would, the page holds only the elements and attributes the page
// itself writes, whatever the layout's texts, names and urls hold.
TEST(PreviewPage, TextNeverMakesAnElementOrAttribute) {
  const std::string hostile = "x\" onload=\"a()\" '><img src=x onerror=b()><script>c()</script>";
  PreviewModel model;
  model.appName = model.aboutItem = model.quitItem = model.aboutTitle = hostile;
  model.appIcon = hostile;
  model.minWidth = hostile;
  model.lines.push_back({hostile,
                         {{PreviewItem::Kind::kText, hostile, ""},
                          {PreviewItem::Kind::kHyperlink, hostile, "https://a/" + hostile},
                          {PreviewItem::Kind::kHyperlink, hostile, hostile},
                          {PreviewItem::Kind::kLogo, hostile, ""},
                          {PreviewItem::Kind::kLogo, "missing" + hostile, ""}}});
  PreviewFacts facts{hostile, 1, hostile, false, {{hostile, 0, 1, {true, 1, 1, ""}, "", 0, 0}},
                     hostile, {}};
  facts.findings.push_back(
      {&vantu::branding_package::Kind(vantu::branding_package::FindingId::kSchema), hostile, 1, 2,
       vantu::branding_package::kNoOffset, hostile});
  const std::string page = RenderPreviewPage(model, facts);
  htmlDocPtr document =
      htmlReadMemory(page.data(), static_cast<int>(page.size()), nullptr, "utf-8",
                     HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  ASSERT_NE(document, nullptr);
  const std::set<std::string> none;
  const std::map<std::string, std::set<std::string>> allowed = {
      {"html", {"lang"}},
      {"head", none},
      {"meta", {"charset", "http-equiv", "content", "name"}},
      {"title", none},
      {"style", none},
      {"body", none},
      {"main", none},
      {"h1", none},
      {"h2", none},
      {"div", {"class", "data-align", "style"}},
      {"section", {"class"}},
      {"span", {"class", "title"}},
      {"ul", {"class"}},
      {"li", {"class"}},
      {"a", {"class", "href"}},
      {"table", none},
      {"tr", {"class"}},
      {"th", none},
      {"td", {"class"}},
      {"p", none},
      {"input", {"class", "readonly", "aria-label", "value"}},
      {"svg", {"class", "role", "aria-label", "aria-hidden", "width", "height", "viewbox"}},
      {"defs", none},
      {"use", {"href"}},
      {"image", {"id", "data-name", "width", "height", "href"}}};
  CheckMarkup(xmlDocGetRootElement(document), allowed);
  xmlFreeDoc(document);
}

}  // namespace
