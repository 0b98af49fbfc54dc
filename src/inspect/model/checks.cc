#include <algorithm>
#include <cstdio>
#include <map>
#include <ostream>

#include "base/ascii.h"
#include "base/bp_exception.h"
#include "base/shown.h"
#include "base/utf8.h"
#include "digest/sha256.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/model/checks.h"
#include "layout/layout_rules.h"
#include "layout/parse_layout.h"
#include "package/extract_names.h"
#include "package/records.h"

namespace vantu::branding_package {

namespace {

using Node = rapidxml::xml_node<char>;

// The encoding the XML declaration names, or empty.
std::string DeclaredEncoding(const std::string& text, std::size_t& at) {
  std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  if (text.compare(start, 5, "<?xml") != 0) return "";
  const std::size_t end = text.find("?>", start);
  const std::size_t key = text.find("encoding", start);
  if (key == std::string::npos || key > end) return "";
  std::size_t quote = text.find_first_of("\"'", key);
  if (quote == std::string::npos || quote > end) return "";
  const std::size_t close = text.find(text[quote], quote + 1);
  if (close == std::string::npos || close > end) return "";
  at = quote + 1;
  return text.substr(quote + 1, close - quote - 1);
}

}  // namespace

bool IsClientLink(std::string_view url) {
  const std::string lower = AsciiLower(url.substr(0, 8));
  if (url.find_first_of(" \t\r\n") != std::string_view::npos) return false;
  if (lower.rfind("mailto:", 0) == 0) return url.find('@') != std::string_view::npos;
  const std::size_t scheme = lower.rfind("https://", 0) == 0  ? 8
                             : lower.rfind("http://", 0) == 0 ? 7
                                                              : 0;
  if (scheme == 0) return false;
  const std::size_t hostEnd = url.find_first_of("/?#", scheme);
  return (hostEnd == std::string_view::npos ? url.size() : hostEnd) > scheme;
}

void CheckLayoutText(const std::string& file, const LayoutDocument& document,
                     std::uint64_t textOffset, std::vector<Finding>& findings) {
  const std::string& text = document.Text();
  auto warn = [&](std::size_t offset, const char* id, const std::string& message) {
    const auto [line, column] = document.Position(offset);
    findings.push_back({&Kind(id), file, line, column,
                        textOffset == kNoOffset ? kNoOffset : textOffset + offset, message});
  };
  std::size_t encodingAt = 0;
  const std::string encoding = DeclaredEncoding(text, encodingAt);
  if (!encoding.empty() && AsciiLower(encoding) != "utf-8") {
    warn(encodingAt, "declared-encoding",
         "declared encoding " + encoding +
             ": the package stores the text as it is, without "
             "its declaration, where a client reads UTF-8");
  }
  if (auto bad = FirstNonUtf8(text)) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[*bad]));
    warn(*bad, "not-utf8", std::string("text is not UTF-8: byte ") + byte);
  }

  const Node* root = document.Root();
  if (root == nullptr || std::string(root->name(), root->name_size()) != "vantu-client-branding") {
    return;
  }
  auto offsetOf = [&](const Node& node) { return document.OffsetOf(&node); };
  auto requireText = [&](const Node* element, const char* what) {
    if (element != nullptr && ElementText(*element).empty()) {
      warn(offsetOf(*element), "empty-text", std::string(what) + " is empty");
    }
  };
  requireText(root->first_node("app-name"), "app-name");
  if (const Node* menu = root->first_node("toolbar-menu")) {
    requireText(menu->first_node("about-item"), "about-item");
    requireText(menu->first_node("quit-item"), "quit-item");
  }
  if (const Node* about = root->first_node("about")) {
    const auto* title = about->first_attribute("title");
    if (title != nullptr && title->value_size() == 0) {
      warn(offsetOf(*about), "empty-text", "the about title is empty");
    }
    for (const Node* line = about->first_node("line"); line != nullptr;
         line = line->next_sibling("line")) {
      for (const Node* link = line->first_node("hyperlink"); link != nullptr;
           link = link->next_sibling("hyperlink")) {
        const auto* url = link->first_attribute("url");
        if (url == nullptr) continue;  // a rule of the packager's
        const std::string_view value(url->value(), url->value_size());
        if (!IsClientLink(value)) {
          warn(offsetOf(*link), "link-url",
               "the hyperlink's url \"" + std::string(value) +
                   "\" is not an http, https or mailto link the client opens");
        }
      }
    }
  }
}

void ImageChecks::Check(const CheckedImage& image, std::vector<Finding>& findings) {
  auto add = [&](const char* id, const std::string& message) {
    findings.push_back({&Kind(id), image.file, image.offset == kNoOffset ? 1 : 0,
                        image.offset == kNoOffset ? 1 : 0, image.offset, message});
  };
  if (image.decoded != nullptr) {
    if (!image.decoded->ok) {
      add("image-decode", image.subject + "does not decode as " + FormatName(image.format) + ": " +
                              image.decoded->problem);
    }
    const std::size_t dot = image.name.rfind('.');
    const std::string extension =
        dot == std::string::npos ? "" : AsciiLower(image.name.substr(dot + 1));
    const bool saysPng = extension == "png";
    const bool saysJpeg = extension == "jpg" || extension == "jpeg";
    if ((saysPng && image.format != kFormatPng) || (saysJpeg && image.format != kFormatJpeg)) {
      add("image-extension", image.subject + "the name says " + (saysPng ? "PNG" : "JPEG") +
                                 ", the content is " + FormatName(image.format));
    }
  }
  if (!IsExtractableName(image.name)) {
    add("image-name-refused", "extract would refuse the image name \"" + image.name + "\"");
  } else if (std::any_of(image.name.begin(), image.name.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
             })) {
    add("image-name-control", "the image name holds control bytes");
  }
  if (image.decoded == nullptr) return;
  const auto [seen, added] = byName_.emplace(image.name, std::make_pair(image.sha256, image.where));
  if (!added && seen->second.first != image.sha256) {
    add("image-name-shared", "the image name " + image.name + " is taken by " +
                                 seen->second.second + " with other content");
  }
}

std::vector<LintedImage> CheckImages(const std::vector<std::string>& paths,
                                     std::vector<Finding>& findings) {
  std::vector<LintedImage> images;
  ImageChecks checks;
  for (const std::string& path : paths) {
    LintedImage image;
    image.path = path;
    image.name = std::string(ImageName(path));
    CheckedImage checked{image.name, 0, nullptr, "", path, kNoOffset, "", path};
    FileSource file(path);
    // Read once, as the packager would; the checks work on the record's copy.
    if (!file.IsOpen()) {
      findings.push_back({&Kind("image-unreadable"), path, 1, 1, kNoOffset,
                          "Unable to open Image file: " + path + " (" + file.OpenFailure() + ")"});
    } else {
      try {
        image.record = MakeImageRecord(file, path);
        image.format = DecodeImageHead(image.record->data.get()).format;
      } catch (const cBP_EXCEPTION& e) {
        findings.push_back({&Kind(e.code == BP_ERR_MALFORMED ? "image-format" : "image-unreadable"),
                            path, 1, 1, kNoOffset, e.what()});
      }
    }
    if (image.record) {
      image.size = file.Size();
      MemorySource content(std::string_view(
          reinterpret_cast<const char*>(image.record->data.get()) + image.record->size - image.size,
          static_cast<std::size_t>(image.size)));
      image.decoded = DecodeImage(content, 0, image.size, image.format);
      checked.format = image.format;
      checked.decoded = &image.decoded;
      checked.sha256 = Sha256Hex(content).value_or("");
    }
    checks.Check(checked, findings);
    images.push_back(std::move(image));
  }
  return images;
}

}  // namespace vantu::branding_package
