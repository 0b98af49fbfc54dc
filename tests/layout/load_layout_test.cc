#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "layout/layout_document.h"
#include "layout/layout_test_support.h"
#include "test_support.h"

namespace {

using testing_support::LayoutText;
using testing_support::LoadError;
using testing_support::TempDir;
using testing_support::U32;
using testing_support::WriteFile;

const char kWorkedExampleFile[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<vantu-client-branding version=\"1.0\">\n"
    "    <app-name>Demo</app-name>\n"
    "    <app-icon>icon.png</app-icon>\n"
    "    <toolbar-menu>\n"
    "        <about-item>About</about-item>\n"
    "        <quit-item>Quit</quit-item>\n"
    "    </toolbar-menu>\n"
    "    <about title=\"About\">\n"
    "        <line align=\"center\">\n"
    "            <logo>logo.png</logo>\n"
    "        </line>\n"
    "    </about>\n"
    "</vantu-client-branding>\n";

const char kWorkedExampleText[] =
    "<vantu-client-branding version=\"1.0\"><app-name>Demo</app-name><app-icon>icon.png</app-icon>"
    "<toolbar-menu><about-item>About</about-item><quit-item>Quit</quit-item></toolbar-menu>"
    "<about title=\"About\"><line align=\"center\"><logo>logo.png</logo></line></about>"
    "</vantu-client-branding>";

TEST(LoadLayout, WorkedExampleFromFile) {
  TempDir dir;
  WriteFile(dir / "layout.xml", kWorkedExampleFile);
  cBP_FILE_WRITER writer(dir / "out.bin");
  writer.LoadLayout(dir / "layout.xml");

  ASSERT_EQ(writer.components.size(), 1u);
  const cBP_COMPONENT_WRAPPER& record = *writer.components[0];
  ASSERT_EQ(record.size, 296u);
  const std::string bytes(reinterpret_cast<const char*>(record.data.get()), record.size);
  EXPECT_EQ(bytes, U32(296) + U32(1) + U32(0) + U32(280) + kWorkedExampleText + '\0');
  EXPECT_EQ(std::string(kWorkedExampleText).size(), 279u);
  EXPECT_EQ(writer.references, (std::vector<std::string>{"icon.png", "logo.png"}));
}

// How a fragment placed as the text of app-name is stored.
struct TextCase {
  const char* name;
  std::string written;
  std::string stored;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class StoredText : public ::testing::TestWithParam<TextCase> {};

std::string WithAppName(const std::string& fragment) {
  return "<vantu-client-branding><app-name>" + fragment +
         "</app-name><app-icon>i</app-icon><toolbar-menu/><about title=\"t\"/>"
         "</vantu-client-branding>";
}

TEST_P(StoredText, AsPrinted) {
  EXPECT_EQ(LayoutText(WithAppName(GetParam().written)), WithAppName(GetParam().stored));
}

INSTANTIATE_TEST_SUITE_P(
    Layout, StoredText,
    ::testing::Values(
        TextCase{"Plain", "Demo", "Demo"}, TextCase{"AmpersandReference", "A &amp; B", "A &amp; B"},
        TextCase{"DecimalReference", "&#65;", "A"}, TextCase{"HexReference", "&#x42;", "B"},
        TextCase{"UnknownReferenceKeptAndEscaped", "&nbsp;", "&amp;nbsp;"},
        TextCase{"SurroundingSpacesKept", " icon.png ", " icon.png "},
        TextCase{"Apostrophes", "it's &apos;x&apos;", "it&apos;s &apos;x&apos;"},
        TextCase{"QuotesAndAngles", "\"a\" &lt;b&gt; c>d", "&quot;a&quot; &lt;b&gt; c&gt;d"},
        TextCase{"Utf8ByNumber", "&#xE9;&#8364;", "\xC3\xA9\xE2\x82\xAC"},
        TextCase{"EmptyElement", "<x></x>", "<x/>"},
        TextCase{"SingleQuotedAttribute", "<x a='v'/>", "<x a=\"v\"/>"},
        TextCase{"AttributeWithDoubleQuote", "<x a='say \"hi\" it&apos;s'/>",
                 "<x a='say \"hi\" it&apos;s'/>"},
        TextCase{"AttributeWithApostrophe", "<x a=\"it's\"/>", "<x a=\"it's\"/>"},
        TextCase{"Cdata", "<![CDATA[<raw>]]>", "<![CDATA[<raw>]]>"},
        TextCase{"UnmatchedClosingName", "<x>y</z>", "<x>y</x>"},
        TextCase{"CommentDropped", "a<!-- note -->", "a"},
        TextCase{"CommentSplitsNothing", "ic<!-- note -->on", "icon"},
        TextCase{"ProcessingInstructionDropped", "<?pi data?>a", "a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadLayout, ByteOrderMarkDeclarationCommentsAndDoctypeDropped) {
  const std::string text = LayoutText(
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE x [ <!ENTITY e \"v\"> ]>\n"
      "<!-- c -->\n" +
      WithAppName("n") + "\n<!-- d -->\n");
  EXPECT_EQ(text, WithAppName("n"));
}

TEST(LoadLayout, EveryTopLevelNodeIsPrinted) {
  EXPECT_EQ(LayoutText(WithAppName("n") + "<extra a=\"1\">x</extra>"),
            WithAppName("n") + "<extra a=\"1\">x</extra>");
}

TEST(LoadLayout, ZeroByteEndsTheDocument) {
  std::string xml = WithAppName("n") + '\0' + "garbage <";
  cBP_FILE_WRITER writer("unused.bin");
  writer.AddLayout(vantu::branding_package::LayoutDocument(xml), "layout.xml");
  EXPECT_EQ(writer.components.at(0)->size, WithAppName("n").size() + 17);
}

struct ErrorCase {
  const char* name;
  std::string xml;
  int code;
  std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class LoadErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LoadErrors, CodeAndMessage) {
  EXPECT_EQ(LoadError(GetParam().xml), std::make_pair(GetParam().code, GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Layout, LoadErrors,
    ::testing::Values(
        ErrorCase{"TextBeforeRoot", "abc", -503, "expected <"},
        ErrorCase{"Utf16ByteOrderMark", "\xFF\xFE<", -503, "expected <"},
        ErrorCase{"ClosingTagAtTopLevel", "</a>", -503, "expected element name"},
        ErrorCase{"UnclosedStartTag", "<a b=\"c\"", -503, "expected >"},
        ErrorCase{"BadClosingTag", "<a></a x>", -503, "expected >"},
        ErrorCase{"AttributeWithoutEquals", "<a b></a>", -503, "expected ="},
        ErrorCase{"UnquotedAttribute", "<a b=c></a>", -503, "expected ' or \""},
        ErrorCase{"UnclosedAttribute", "<a b=\"c></a>", -503, "expected ' or \""},
        ErrorCase{"UpperCaseHexReference", "<a>&#X41;</a>", -503, "expected ;"},
        ErrorCase{"ReferenceTooLarge", "<a>&#x110000;</a>", -503,
                  "invalid numeric character entity"},
        ErrorCase{"MissingRootEnd", "<a><b/>", -503, "unexpected end of data"},
        // References the stored text would carry as a zero byte, or that wrap past 64 bits.
        ErrorCase{"ZeroReference", WithAppName("De&#0;mo"), -503,
                  "invalid numeric character entity"},
        ErrorCase{"HexZeroReference", WithAppName("&#x0;"), -503,
                  "invalid numeric character entity"},
        ErrorCase{"EmptyReference", WithAppName("&#;"), -503, "invalid numeric character entity"},
        ErrorCase{"WrappingReference", WithAppName("&#x10000000000000041;"), -503,
                  "invalid numeric character entity"},
        ErrorCase{"ZeroReferenceInAttribute", "<a b=\"&#0;\"/>", -503,
                  "invalid numeric character entity"},
        ErrorCase{"EarlierErrorWinsOverZeroReference", "<a x=1>&#0;</a>", -503, "expected ' or \""},
        ErrorCase{"UnclosedComment", "<a><!-- x</a>", -503, "unexpected end of data"},
        ErrorCase{"Empty", "", -506, "Must contain at least 1 node"},
        ErrorCase{"OnlyDeclarationAndComment", "<?xml version=\"1.0\"?><!-- c -->\n", -506,
                  "Must contain at least 1 node"},
        ErrorCase{"MisspelledRoot", "<vantu-client-brandin/>", -506,
                  "Top node must be vantu-client-branding"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadLayout, MissingFileIsUnreadable) {
  TempDir dir;
  cBP_FILE_WRITER writer(dir / "out.bin");
  try {
    writer.LoadLayout(dir / "missing.xml");
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -502);
    EXPECT_EQ(std::string(e.what()), "cannot open file " + (dir / "missing.xml"));
  }
  EXPECT_TRUE(writer.components.empty());
}

TEST(LoadLayout, DirectoryIsUnreadableNotACrash) {
  TempDir dir;
  cBP_FILE_WRITER writer(dir / "out.bin");
  try {
    writer.LoadLayout(dir.path());
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -502);
    EXPECT_EQ(std::string(e.what()), "cannot open file " + dir.path());
  }
}

TEST(LoadLayout, FileTooLargeForARecordIsRefusedBeforeReading) {
  TempDir dir;
  const std::string path = dir / "huge.xml";
  WriteFile(path, "");
  ASSERT_EQ(truncate(path.c_str(), 5LL << 30), 0);  // sparse: costs nothing
  cBP_FILE_WRITER writer(dir / "out.bin");
  try {
    writer.LoadLayout(path);
    FAIL() << "no exception";
  } catch (const cBP_EXCEPTION& e) {
    EXPECT_EQ(e.code, -502);
    EXPECT_EQ(std::string(e.what()), "layout too large for the package: " + path);
  }
}

// Nesting: the root, about, line and text take four levels; the rest is nested in text.
std::string NestedLayout(std::size_t depth, const std::string& innermost, bool closed) {
  std::string open;
  std::string close;
  for (std::size_t i = 4; i < depth; ++i) {
    open += "<b>";
    close += "</b>";
  }
  return testing_support::LayoutWithAbout("<line><text>" + open + innermost +
                                          (closed ? close + "</text></line>" : ""));
}

TEST(LoadLayout, NestingAtTheLimitBuilds) {
  const std::string xml = NestedLayout(1000, "deep", true);
  EXPECT_EQ(LayoutText(xml), xml);
}

TEST(LoadLayout, NestingBeyondTheLimitIsRefused) {
  const std::pair<int, std::string> tooDeep{-503, "element nesting too deep"};
  EXPECT_EQ(LoadError(NestedLayout(1001, "deep", true)), tooDeep);
  EXPECT_EQ(LoadError(NestedLayout(1000, "<e/>", true)), tooDeep);
  EXPECT_EQ(LoadError(NestedLayout(120000, "", false)), tooDeep);
  std::string unclosed;
  for (int i = 0; i < 350000 / 3; ++i) unclosed += "<a>";
  EXPECT_EQ(LoadError(unclosed), tooDeep);
}

TEST(LoadLayout, EarlierErrorWinsOverDeepNesting) {
  EXPECT_EQ(LoadError("<a x=1>" + NestedLayout(2000, "", false)),
            std::make_pair(-503, std::string("expected ' or \"")));
}

}  // namespace

// Where a person finds a position: the element path, indexed where siblings share a name.
TEST(LayoutDocument, ElementPathOfAnOffset) {
  const std::string text =
      "<r><a/><line><x/></line><line><hyperlink/><text/><hyperlink/></line><line>"
      "<hyperlink/></line></r>";
  const vantu::branding_package::LayoutDocument document(text);
  const std::pair<std::string, std::string> cases[] = {
      {"<r>", "r"},
      {"<a/>", "a"},
      {"<x/>", "line[1]/x"},
      {"<hyperlink/><text/>", "line[2]/hyperlink[1]"},
      {"<text/>", "line[2]/text"},
      {"<hyperlink/></line><line>", "line[2]/hyperlink[2]"},
      {"</line><line><hyperlink/></line></r>", "line[2]"},  // an end tag: what it closes
      {"<hyperlink/></line></r>", "line[3]/hyperlink"},
      {"</r>", "r"},
  };
  for (const auto& [at, path] : cases) {
    const std::size_t offset =
        text.find(at, at == "<hyperlink/></line><line>" ? text.find("<text/>") : 0);
    EXPECT_EQ(document.ElementPath(offset), path) << at;
  }
  EXPECT_EQ(vantu::branding_package::LayoutDocument("<r><a>").ElementPath(3), "");
  // Text, and an end tag that closes nothing open (the parser ends there), keep the element.
  EXPECT_EQ(vantu::branding_package::LayoutDocument("<r><a>xy</a></r>").ElementPath(7), "a");
  EXPECT_EQ(vantu::branding_package::LayoutDocument("<r><a/></q>").ElementPath(7), "r");
  EXPECT_EQ(vantu::branding_package::LayoutDocument("  <r/>").ElementPath(0), "");
  // A path deeper than 12 elements keeps its first 4 and last 8.
  const auto deepest = [](int depth) {
    std::string deep = "<r>";
    for (int i = 1; i <= depth; ++i) deep += "<e" + std::to_string(i) + ">";
    for (int i = depth; i >= 1; --i) deep += "</e" + std::to_string(i) + ">";
    deep += "</r>";
    const std::string last = "<e" + std::to_string(depth) + ">";
    return vantu::branding_package::LayoutDocument(deep).ElementPath(deep.find(last));
  };
  EXPECT_EQ(deepest(20), "e1/e2/e3/e4/...(8 more)/e13/e14/e15/e16/e17/e18/e19/e20");
  EXPECT_EQ(deepest(13), "e1/e2/e3/e4/...(1 more)/e6/e7/e8/e9/e10/e11/e12/e13");
  EXPECT_EQ(deepest(12), "e1/e2/e3/e4/e5/e6/e7/e8/e9/e10/e11/e12");
  // A name of up to 64 bytes is shown whole, a longer one cut.
  for (const std::size_t size : {64, 65}) {
    const std::string name(size, 'n');
    const std::string text = "<r><" + name + "/></r>";
    EXPECT_EQ(vantu::branding_package::LayoutDocument(text).ElementPath(3),
              size == 64 ? name : std::string(48, 'n') + "...(65 bytes)");
  }
}

// The document marks where each element's tags end, where each attribute value is written
// and where each comment is, as the parser reads them: a ">" in a value ends nothing, an
// element may hold one of its own name, a "<!--" in CDATA is text.
TEST(LayoutDocument, MarksTagsValuesAndComments) {
  using Document = vantu::branding_package::LayoutDocument;
  const std::string text =
      "<?xml version=\"1.0\"?><!-- top --><r a='x>y' b = \"\"><u><u/></u>"
      "<!-- in r --><c><![CDATA[<!-- not -->]]></c></r>";
  const Document document(text);
  // Each element: its start tag, what follows it, and its end tag ("" when it closes itself).
  const std::string cases[][3] = {
      {"<r ", "<u><u/>", "</r>"},
      {"<u><u/>", "<u/></u>", "</u>"},
      {"<u/>", "</u><!--", ""},
      {"<c>", "<![CDATA[", "</c>"},
  };
  for (const auto& [start, after, endTag] : cases) {
    const std::size_t index = document.ElementAt(text.find(start));
    ASSERT_NE(index, Document::kNone) << start;
    const Document::Element& e = document.Elements()[index];
    EXPECT_EQ(e.tagEnd, text.find(after)) << start;
    EXPECT_EQ(e.closeTag, endTag.empty() ? Document::kNone : text.find(endTag)) << start;
    EXPECT_EQ(e.end, endTag.empty() ? e.tagEnd : text.find(endTag) + endTag.size()) << start;
    EXPECT_EQ(document.ElementEnd(e.offset), e.end);
  }
  EXPECT_EQ(document.ElementAt(1), Document::kNone);
  EXPECT_EQ(document.ElementEnd(3), 3u);
  std::vector<std::string> marked;  // the attribute values, then the comments
  for (const auto& a : document.Elements()[0].attributes) {
    marked.push_back(text.substr(a.written.begin, a.written.end - a.written.begin));
  }
  for (const Document::Span& c : document.Comments()) {
    marked.push_back(text.substr(c.begin, c.end - c.begin));
  }
  EXPECT_EQ(marked, (std::vector<std::string>{"x>y", "", "<!-- top -->", "<!-- in r -->"}));
  // The end tag after one of its own name closes the outer element.
  EXPECT_EQ(document.ElementPath(text.find("</u>")), "u");
  // Nothing is marked where the text does not parse.
  EXPECT_TRUE(Document("<r><!-- c --><a>").Comments().empty());
}

// The typed model holds what the client reads: the first element of each name, a line's
// logo, text and hyperlink items in order (nothing else), absent parts absent; the element
// index links top-level siblings.
TEST(LayoutDocument, ModelIsWhatTheClientReads) {
  using vantu::branding_package::AboutItem;
  const vantu::branding_package::LayoutDocument document(
      "<vantu-client-branding><app-name>A<!--c-->B</app-name><app-name>x</app-name><about "
      "title=\"T\"><line><text>t</text><bogus url=\"u\"/><hyperlink url=\"h\">H</hyperlink>"
      "<logo>l.png</logo></line></about></vantu-client-branding><extra/>");
  const auto& model = document.Model();
  EXPECT_EQ(model.appName.text, "AB");
  EXPECT_FALSE(model.appIcon.range || model.menu || model.aboutItem.range);
  EXPECT_EQ(model.title, "T");
  EXPECT_FALSE(model.minWidth);
  ASSERT_EQ(model.lines.size(), 1u);
  EXPECT_FALSE(model.lines[0].align);
  std::string items;
  for (const AboutItem& item : model.lines[0].items) {
    items += std::to_string(static_cast<int>(item.kind)) + item.text + item.url.value_or("-");
  }
  EXPECT_EQ(items, "1t-2Hh0l.png-");
  const auto& elements = document.Elements();
  EXPECT_EQ(elements.at(elements.front().next).name, "extra");
}
