#include "inspect/commands/preview_page.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "base/ascii.h"
#include "base/shown.h"
#include "digest/sha256.h"
#include "image/image_format.h"
#include "inspect/commands/report.h"

namespace vantu::branding_package {

namespace {

// Plain, neutral and printable; 800 to 1600 pixels wide.
constexpr char kStyle[] = R"(
*{box-sizing:border-box}
body{margin:0;padding:24px;background:#f4f4f5;color:#1f2328;
font:14px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,"Helvetica Neue",Arial,sans-serif}
main{margin:0 auto;display:grid;grid-template-columns:minmax(0,680px) minmax(300px,1fr);gap:24px}
h1{grid-column:1/-1;font-size:18px;font-weight:600;margin:0}
h2{font-size:12px;font-weight:600;text-transform:uppercase;letter-spacing:.04em;color:#57606a;margin:0 0 8px}
section.part{margin-bottom:24px}
.window{background:#fff;border:1px solid #c9ccd1;border-radius:6px;overflow:hidden;width:100%}
.titlebar{display:flex;align-items:center;gap:8px;padding:6px 10px;background:#e9ebee;border-bottom:1px solid #c9ccd1}
.image-data{position:absolute}
.app-name{font-weight:600;overflow-wrap:anywhere}
.toolbar{padding:6px 10px;border-bottom:1px solid #e1e4e8}
.menu-button{display:inline-block;padding:2px 8px;border:1px solid #c9ccd1;border-radius:4px;background:#f6f8fa}
.menu{width:max-content;max-width:100%;margin:6px 0 0;padding:4px 0;list-style:none;min-width:180px;
background:#fff;border:1px solid #c9ccd1;border-radius:4px;box-shadow:0 2px 6px rgba(0,0,0,.12)}
.menu li{padding:4px 14px;overflow-wrap:anywhere}
.dialog{display:inline-block;min-width:300px;background:#fff;border:1px solid #c9ccd1;border-radius:6px;overflow:hidden}
.dialog-title{padding:6px 10px;background:#e9ebee;border-bottom:1px solid #c9ccd1;font-weight:600;overflow-wrap:anywhere}
.dialog-body{padding:12px 16px}
.line{margin:4px 0;overflow-wrap:anywhere}
.line svg{max-width:100%;height:auto;vertical-align:middle}
.line>*+*{margin-left:6px}
.not-a-link{color:#b3261e;text-decoration:underline wavy #b3261e}
.gap{display:inline-block;padding:0 6px;border:2px dashed #b3261e;border-radius:3px;color:#b3261e;font-style:italic}
.mark{display:inline-block;margin:2px 0 2px 6px;padding:0 6px;border:1px solid #bf8700;border-radius:3px;
background:#fff8c5;color:#4d2d00;font-size:12px;font-style:normal;font-weight:400;text-align:left}
.mark-error{border-color:#b3261e;background:#ffebe9;color:#82071e}
.mark-note{border-color:#8c959f;background:#f6f8fa;color:#424a53}
.menu li.menu-finding{padding:2px 8px}
.facts table{border-collapse:collapse;width:100%;background:#fff;border:1px solid #c9ccd1}
.facts th,.facts td{text-align:left;vertical-align:top;padding:4px 8px;border-bottom:1px solid #e1e4e8}
.facts th,.facts .number{white-space:nowrap}
.facts td{overflow-wrap:break-word}
.facts .where{color:#57606a;font-size:12px}
.panel{min-width:0;overflow-x:auto}
.facts td.name{overflow-wrap:normal;word-break:normal}
.line-too-wide{display:block;margin:2px 0 0}
.facts td.hash{font-family:ui-monospace,SFMono-Regular,Menlo,Consolas,monospace;font-size:12px;white-space:nowrap}
.facts input.hash-field{display:block;width:100%;margin-top:4px;font:inherit;font-size:11px;border:1px solid #c9ccd1;border-radius:3px;padding:2px 4px}
.finding-error{color:#b3261e}
.facts .hash-print{display:none}
@media print{body{background:#fff}.facts input.hash-field{display:none}.facts .hash-short{display:none}
.facts .hash-print{display:inline}}
)";

// The About box's padding (16 pixels each side) and border (1), and the page's margins (24
// each side) and a scroll bar's width: what a window needs beside a logo to show it whole.
constexpr std::uint32_t kDialogChrome = 34;
constexpr std::uint32_t kPageChrome = 48 + 18;
// The panel beside the drawing, and the gap between them.
constexpr std::uint32_t kPanelWidth = 300 + 24;

// The sizes lint's notes speak of: the icon's height, the About box's widest. A window too
// narrow to hold that box beside the panel puts the panel below it, so that a logo is shown at
// its own size up to kLogoShownWidth in any window at least 800 pixels wide.
std::string SizedStyle() {
  return ".titlebar svg{max-height:" + std::to_string(kIconShownHeight) +
         "px;width:auto}\n.dialog{max-width:min(100%," +
         std::to_string(kLogoShownWidth + kDialogChrome) + "px)}\n@media (max-width:" +
         std::to_string(kLogoShownWidth + kDialogChrome + kPageChrome + kPanelWidth) +
         "px){main{grid-template-columns:minmax(0,1fr)}}\n.scaled{display:none}\n";
}

std::string Escaped(const std::string& text) {
  // Line ends and tabs read as spaces on a page; every other byte that is no character is
  // shown as everywhere else.
  std::string spaced = text;
  std::replace_if(
      spaced.begin(), spaced.end(), [](char c) { return c == '\n' || c == '\t'; }, ' ');
  std::string out;
  for (const char c : Shown(spaced)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Appends bytes in base64 to out, written in place: an image's data is the page's bulk.
void AppendBase64(std::string_view bytes, std::string& out) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t start = out.size();
  out.resize(start + (bytes.size() + 2) / 3 * 4);
  char* to = out.data() + start;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const auto n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                   static_cast<unsigned char>(bytes[i + 2]);
    *to++ = kAlphabet[n >> 18 & 63];
    *to++ = kAlphabet[n >> 12 & 63];
    *to++ = kAlphabet[n >> 6 & 63];
    *to++ = kAlphabet[n & 63];
  }
  if (i < bytes.size()) {
    auto n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      n |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    *to++ = kAlphabet[n >> 18 & 63];
    *to++ = kAlphabet[n >> 12 & 63];
    *to++ = i + 1 < bytes.size() ? kAlphabet[n >> 6 & 63] : '=';
    *to++ = '=';
  }
}

std::string Base64(std::string_view bytes) {
  std::string out;
  AppendBase64(bytes, out);
  return out;
}

// The images by name, each name's first image as the client finds it.
class ImageIndex {
 public:
  explicit ImageIndex(const std::vector<ImageFacts>& images) : images_(images) {
    for (std::size_t i = 0; i < images.size(); ++i) byName_.emplace(images[i].name, i);
  }
  // The first image called name, or null.
  const ImageFacts* Find(const std::string& name) const {
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &images_[found->second];
  }
  // The mark a style rule shows beside a logo called name when it is scaled down.
  std::string ScaledMark(const std::string& name) const {
    const ImageFacts* image = Find(name);
    if (image == nullptr) return "";
    return "<span class=\"mark mark-note scaled scaled-" + std::to_string(image->decoded.width) +
           "\">scaled down to fit</span>";
  }
  // The drawing of the image called name: a reference to its data, which the page holds
  // once however often it is shown.
  std::string Tag(const std::string& name, const char* role) const {
    const auto found = byName_.find(name);
    if (found == byName_.end()) {
      return "<span class=\"missing\">[no image " + Escaped(name) + "]</span>";
    }
    const DecodedImage& image = images_[found->second].decoded;
    const std::string width = std::to_string(image.width);
    const std::string height = std::to_string(image.height);
    return std::string("<svg class=\"picture ") + role + "\" role=\"img\" aria-label=\"" +
           Escaped(name) + "\" width=\"" + width + "\" height=\"" + height + "\" viewBox=\"0 0 " +
           width + " " + height + "\"><use href=\"#image-" + std::to_string(found->second) +
           "\"/></svg>";
  }

 private:
  const std::vector<ImageFacts>& images_;
  std::unordered_map<std::string, std::size_t> byName_;
};

// Each logo wider than the About box, or than a window narrower than it needs, is marked as
// scaled: the page runs no script, so a rule for each logo width says below which window width
// its mark shows.
std::string ScaledStyle(const PreviewModel& model, const ImageIndex& images) {
  std::set<std::uint32_t> shown;
  for (const PreviewLine& line : model.lines) {
    for (const PreviewItem& item : line.items) {
      const ImageFacts* image = images.Find(item.text);
      if (item.kind == PreviewItem::Kind::kLogo && image != nullptr) {
        shown.insert(image->decoded.width);
      }
    }
  }
  std::string style;
  for (const std::uint32_t width : shown) {
    const std::string rule = ".scaled-" + std::to_string(width) + "{display:inline-block}";
    style += width > kLogoShownWidth
                 ? rule + "\n"
                 : "@media (max-width:" + std::to_string(width + kDialogChrome + kPageChrome - 1) +
                       "px){" + rule + "}\n";
  }
  return style;
}

// Every image's data, once, for the drawings to refer to.
void ImageData(const std::vector<ImageFacts>& images, std::string_view package, std::string& page) {
  page += "<svg class=\"image-data\" width=\"0\" height=\"0\" aria-hidden=\"true\"><defs>";
  for (std::size_t i = 0; i < images.size(); ++i) {
    const ImageFacts& image = images[i];
    page += "<image id=\"image-" + std::to_string(i) + "\" data-name=\"" + Escaped(image.name) +
            "\" width=\"" + std::to_string(image.decoded.width) + "\" height=\"" +
            std::to_string(image.decoded.height) + "\" href=\"data:image/" +
            FormatKey(image.format) + ";base64,";
    AppendBase64(package.substr(static_cast<std::size_t>(image.dataOffset),
                                static_cast<std::size_t>(image.size)),
                 page);
    page += "\"/>";
  }
  page += "</defs></svg>\n";
}

// The findings about each element of the layout, drawn beside it.
class Marks {
 public:
  // findings about the layout read from source.
  Marks(const std::vector<Finding>& findings, const std::string& source) {
    for (const Finding& f : findings) {
      if (!f.element.empty() && f.file == source) byElement_[f.element].push_back(&f);
    }
  }
  // The marks of the findings about element, each "severity: message [id]".
  std::string At(const std::string& element) const {
    const auto found = element.empty() ? byElement_.end() : byElement_.find(element);
    if (found == byElement_.end()) return "";
    std::string marks;
    for (const Finding* f : found->second) {
      const std::string severity = SeverityName(f->severity());
      marks += "<span class=\"mark mark-" + severity + "\">" + severity + ": " +
               Escaped(f->message) + " [" + f->kind->id + "]</span>";
    }
    return marks;
  }

 private:
  std::unordered_map<std::string, std::vector<const Finding*>> byElement_;
};

// text, or where the client shows nothing, a gap marked with what is missing: absent when
// its element is, else empty.
std::string TextOrGap(const std::string& text, const std::string& element, const char* absent,
                      const char* empty) {
  if (!text.empty()) return Escaped(text);
  return std::string("<span class=\"gap\">") + (element.empty() ? absent : empty) + "</span>";
}

// minWidth in CSS pixels when it is a whole number; the client's unit is not stated.
std::string MinWidthStyle(const std::string& minWidth) {
  if (minWidth.empty() || minWidth.size() > 6 ||
      minWidth.find_first_not_of("0123456789") != std::string::npos) {
    return "";
  }
  return " style=\"min-width:" + std::to_string(std::stoul(minWidth)) + "px\"";
}

void Lines(const PreviewModel& model, const ImageIndex& images, const Marks& marks,
           std::string& page) {
  for (const PreviewLine& line : model.lines) {
    const std::string align =
        line.align == "center" || line.align == "right" ? line.align : std::string("left");
    page += "<div class=\"line\" data-align=\"" + align + "\" style=\"text-align:" + align + "\">";
    // Logos side by side wider than the box: the client cannot draw the line as laid out.
    std::uint64_t logos = 0;
    std::size_t count = 0;
    for (const PreviewItem& item : line.items) {
      const ImageFacts* image =
          item.kind == PreviewItem::Kind::kLogo ? images.Find(item.text) : nullptr;
      if (image == nullptr || !image->decoded.ok) continue;
      logos += ShownSize(image->decoded.width, image->decoded.height, false).first;
      ++count;
    }
    for (const PreviewItem& item : line.items) {
      switch (item.kind) {
        case PreviewItem::Kind::kLogo:
          page += images.Tag(item.text, "logo") + images.ScaledMark(item.text);
          break;
        case PreviewItem::Kind::kText:
          page += "<span class=\"text\">" + Escaped(item.text) + "</span>";
          break;
        case PreviewItem::Kind::kHyperlink:
          if (IsClientLink(item.url)) {
            page += "<a class=\"hyperlink\" href=\"" + Escaped(item.url) + "\">" +
                    Escaped(item.text) + "</a>";
          } else {
            page +=
                "<span class=\"hyperlink not-a-link\" title=\"not a link: " + Escaped(item.url) +
                "\">" + Escaped(item.text) + " (" + Escaped(item.url) + ")</span>";
          }
          break;
      }
      page += marks.At(item.element);
    }
    page += marks.At(line.element);
    if (count > 1 && logos > kLogoShownWidth) {
      page += "<span class=\"mark mark-note line-too-wide\">logos " + std::to_string(logos) +
              " pixels wide side by side, wider than the About box's " +
              std::to_string(kLogoShownWidth) + ": shown on more than one row</span>";
    }
    page += "</div>\n";
  }
}

void Facts(const PreviewFacts& facts, std::string& page) {
  page += "<section class=\"part facts\"><h2>Package</h2><table>";
  page += "<tr><th>From</th><td class=\"name\">" + Escaped(facts.source) + "</td></tr>";
  page += std::string("<tr><th>Size</th><td><span class=\"number\">") +
          std::to_string(facts.packageSize) + " bytes</span>" +
          (facts.built ? "" : " (as the packager would build it)") + "</td></tr>";
  // Shortened to fit beside the drawing; whole on hover, in a field to copy, and on paper.
  const std::string hash = Escaped(facts.sha256);
  const std::string shortHash =
      hash.size() > 24 ? hash.substr(0, 12) + "\xE2\x80\xA6" + hash.substr(hash.size() - 12) : hash;
  page += "<tr><th>SHA-256</th><td class=\"hash\"><span class=\"hash-short\" title=\"" + hash +
          "\">" + shortHash + "</span><span class=\"hash-print\">" + hash +
          "</span><input class=\"hash-field\" readonly aria-label=\"SHA-256\" value=\"" + hash +
          "\"></td></tr>";
  page +=
      "</table></section>\n<section class=\"part facts\"><h2>Images</h2><table>"
      "<tr><th>Name</th><th>Format</th><th>Pixels</th><th>Bytes</th></tr>";
  for (const ImageFacts& image : facts.images) {
    page += "<tr class=\"image-fact\"><td class=\"name\">" + Escaped(image.name) +
            "</td><td class=\"number\">" + FormatName(image.format) + "</td><td class=\"number\">" +
            PixelSize(image.decoded.width, image.decoded.height) + "</td><td class=\"number\">" +
            std::to_string(image.size) + "</td></tr>";
  }
  page += "</table></section>\n<section class=\"part facts\"><h2>Lint findings</h2>";
  if (facts.findings.empty()) page += "<p>None.</p>";
  if (!facts.findings.empty()) {
    page += "<table>";
    for (const Finding& f : facts.findings) {
      const std::string severity = SeverityName(f.severity());
      // A package's finding names its element already; a file's gets it here.
      std::string where = WhereOf(f);
      if (f.offset == kNoOffset && !f.element.empty()) where += " (" + Shown(f.element) + ")";
      page += "<tr class=\"finding finding-" + severity + "\"><td><div class=\"where\">" +
              Escaped(where) + "</div>" + severity + ": " + Escaped(f.message) + " [" + f.kind->id +
              "]</td></tr>";
    }
    page += "</table>";
  }
  page += "</section>\n";
}

// The live page's one script: its stream starts from the page's own version; on each event, the
// page is fetched again and its style and body put in place, so the scroll position stays.
constexpr char kLiveScript[] =
    "new EventSource('/events?since='+document.documentElement.dataset.version)"
    ".onmessage=function(){fetch('/',{cache:'no-store'})"
    ".then(function(r){return r.text();}).then(function(html){"
    "var next=new DOMParser().parseFromString(html,'text/html');var y=window.scrollY;"
    "document.title=next.title;"
    "document.querySelector('style').textContent=next.querySelector('style').textContent;"
    "document.body.innerHTML=next.body.innerHTML;window.scrollTo(0,y);});};";

// The policy's source for kLiveScript: its SHA-256, in base64.
std::string LiveScriptSource() {
  MemorySource script{std::string_view(kLiveScript)};
  const std::string hex = Sha256Hex(script).value_or("");
  std::string digest;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    digest += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return "'sha256-" + Base64(digest) + "'";
}

// The page's head up to its style's text: the standalone page runs no script and fetches
// nothing; the live one runs kLiveScript, which fetches from the page's own server.
std::string Head(const std::string& title, PageKind kind) {
  const bool live = kind == PageKind::kLive;
  return "<!DOCTYPE html>\n<html lang=\"en\"" + (live ? " " + std::string(kVersionMark) : "") +
         "><head><meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "img-src data:; style-src 'unsafe-inline'" +
         (live ? "; script-src " + LiveScriptSource() + "; connect-src 'self'" : std::string()) +
         "\">\n<meta name=\"viewport\" content=\"width=device-width\">\n<title>" + Escaped(title) +
         "</title>\n" +
         (live ? std::string("<script>") + kLiveScript + "</script>\n" : std::string()) + "<style>";
}

}  // namespace

std::string LiveProblems(const std::string& page, const std::string& report) {
  // One finding a line, the errors that stopped the page first, over the last good page and
  // never wider than the window.
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < report.size();) {
    const std::size_t end = std::min(report.find('\n', start), report.size());
    if (end > start) lines.push_back(report.substr(start, end - start));
    start = end + 1;
  }
  std::stable_partition(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find(": error:") != std::string::npos || line.rfind("Error:", 0) == 0;
  });
  std::string items;
  for (const std::string& line : lines) {
    items += "<li style=\"white-space:pre-wrap;overflow-wrap:anywhere;margin:0 0 4px\">" +
             Escaped(line) + "</li>";
  }
  const std::string problems =
      "<section class=\"live-problems\" role=\"alert\" style=\"position:fixed;top:0;left:0;"
      "right:0;z-index:10;max-height:60vh;overflow:auto;background:#fff;border:3px solid #b00020;"
      "padding:0 1em;margin:0;box-shadow:0 4px 12px rgba(0,0,0,.25)\"><h2>Not updated: the "
      "layout cannot be previewed</h2><ul style=\"list-style:none;padding:0;margin:0 0 1em;"
      "font:12px/1.4 ui-monospace,SFMono-Regular,Menlo,Consolas,monospace\">" +
      items + "</ul></section>\n";
  const std::size_t body = page.find("<body>");
  if (body == std::string::npos) {
    return Head("Branding preview", PageKind::kLive) + kStyle + "</style></head>\n<body>" +
           problems + "</body></html>\n";
  }
  std::string shown = page;
  shown.insert(body + 6, problems);
  return shown;
}

std::string RenderPreviewPage(const PreviewModel& model, const PreviewFacts& facts, PageKind kind) {
  const ImageIndex images(facts.images);
  std::string page = Head("Branding preview: " + model.appName, kind) + kStyle + SizedStyle() +
                     ScaledStyle(model, images) + "</style></head>\n<body><main>\n";
  // The images' data is most of the page: room for it once, not copied as the page grows.
  std::size_t data = 0;
  for (const ImageFacts& image : facts.images) data += static_cast<std::size_t>(image.size) / 3 * 4;
  page.reserve(page.size() + data + (std::size_t{64} << 10));
  const Marks marks(facts.findings, facts.source);
  ImageData(facts.images, facts.package, page);
  page += "<h1>Branding preview: " + Escaped(facts.source) + "</h1>\n<div class=\"drawing\">\n";
  page +=
      "<section class=\"part\"><h2>Client window: title bar and toolbar menu</h2>"
      "<div class=\"window\"><div class=\"titlebar\">" +
      images.Tag(model.appIcon, "app-icon") + "<span class=\"app-name\">" +
      TextOrGap(model.appName, model.appNameElement, "no name", "empty name") +
      marks.At(model.appNameElement) +
      "</span></div><div class=\"toolbar\"><span class=\"menu-button\">Menu</span>"
      "<ul class=\"menu\"><li class=\"about-item\">" +
      TextOrGap(model.aboutItem, model.aboutItemElement, "no About item", "empty About item") +
      marks.At(model.aboutItemElement) + "</li><li class=\"quit-item\">" +
      TextOrGap(model.quitItem, model.quitItemElement, "no Quit item", "empty Quit item") +
      marks.At(model.quitItemElement) + "</li>";
  if (const std::string menuMarks = marks.At(model.menuElement); !menuMarks.empty()) {
    page += "<li class=\"menu-finding\">" + menuMarks + "</li>";
  }
  page += "</ul></div></div></section>\n";
  page += "<section class=\"part\"><h2>About box</h2><div class=\"dialog\"" +
          MinWidthStyle(model.minWidth) + "><div class=\"dialog-title\">" +
          TextOrGap(model.aboutTitle, model.aboutElement, "no title", "empty title") +
          marks.At(model.aboutElement) + "</div><div class=\"dialog-body\">\n";
  Lines(model, images, marks, page);
  page += "</div></div></section>\n</div>\n<div class=\"panel\">\n";
  Facts(facts, page);
  page += "</div>\n</main></body></html>\n";
  return page;
}

}  // namespace vantu::branding_package
