#include "inspect/preview_page.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using vantu::branding_package::IsSafeLinkTarget;
using vantu::branding_package::PreviewFacts;
using vantu::branding_package::PreviewImage;
using vantu::branding_package::PreviewLine;
using vantu::branding_package::PreviewItem;
using vantu::branding_package::PreviewModel;
using vantu::branding_package::RenderPreviewPage;

TEST(PreviewPage, OnlyWebAndMailLinksBecomeLinks) {
  for (const char* url : {"http://a", "HTTPS://a", "mailto:x@y", "Https:"}) {
    EXPECT_TRUE(IsSafeLinkTarget(url)) << url;
  }
  for (const char* url : {"javascript:alert(1)", " https://a", "data:text/html,x", "file:///etc",
                          "//host/x", "", "vbscript:x", "\thttp://a"}) {
    EXPECT_FALSE(IsSafeLinkTarget(url)) << url;
  }
}

// Text from the layout never becomes markup: every text and attribute is escaped, control
// and non-UTF-8 bytes are shown, and an unsafe url stays text.
TEST(PreviewPage, LayoutTextIsNeverMarkup) {
  const std::string hostile = "<script>x</script>\"'&\x01\xFF";
  PreviewModel model;
  model.appName = model.aboutItem = model.quitItem = model.aboutTitle = hostile;
  model.minWidth = "12px\" onload=\"x";
  model.lines.push_back({"left\" onclick=\"x", {{PreviewItem::Kind::kText, hostile, ""},
                                                {PreviewItem::Kind::kHyperlink, hostile, "javascript:x"},
                                                {PreviewItem::Kind::kLogo, hostile, ""}}});
  const PreviewFacts facts{hostile, 1, hostile, true, {}, {}};
  const std::string page = RenderPreviewPage(model, facts);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("onclick"), std::string::npos);
  EXPECT_EQ(page.find("onload"), std::string::npos);
  EXPECT_EQ(page.find("href"), std::string::npos);
  EXPECT_EQ(page.find('\x01'), std::string::npos);
  EXPECT_EQ(page.find('\xFF'), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;x&lt;/script&gt;&quot;&#39;&amp;\\x01\\xff"), std::string::npos);
  EXPECT_NE(page.find("data-align=\"left\" style=\"text-align:left\""), std::string::npos);
}

// The page holds each image's data once, however often the layout shows it, and every
// drawing refers to the first image of its name.
TEST(PreviewPage, EachImageIsEmbeddedOnce) {
  PreviewModel model;
  model.appIcon = "a.png";
  model.lines.assign(300, PreviewLine{"left", {{PreviewItem::Kind::kLogo, "b.png", ""}}});
  const std::string a(3000, 'a');
  const std::string b(3000, 'b');
  PreviewFacts facts{"x", 1, "", true, {}, {}};
  facts.images = {PreviewImage{"a.png", 0, 1, 1, a}, PreviewImage{"b.png", 0, 1, 1, b},
                  PreviewImage{"b.png", 0, 1, 1, a}};
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

}  // namespace
