#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>

#include "base/ascii.h"
#include "base/bp_exception.h"
#include "base/nearest.h"
#include "base/shown.h"
#include "base/utf8.h"
#include "image/decode_image.h"
#include "image/image_format.h"
#include "inspect/model/checks.h"
#include "layout/layout_vocabulary.h"
#include "package/extract_names.h"
#include "package/records.h"

namespace vantu::branding_package {

namespace {

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

namespace {

// Whether host is a name or address a client can look up: letters, digits, '-' and
// non-ASCII (an international name) in dot-separated labels, or an IPv6 address in brackets.
bool IsHost(std::string_view host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    return host.find_first_not_of("0123456789abcdefABCDEF:.", 1) == host.size() - 1;
  }
  if (host.empty() || host.front() == '.' || host.find("..") != std::string_view::npos) {
    return false;
  }
  for (const char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && !std::isalnum(byte) && c != '-' && c != '.') return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> LinkProblem(std::string_view url) {
  if (url.empty()) return "it is empty";
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return std::string("it holds a space or control byte");
  }
  const std::size_t colon = url.find(':');
  const std::string scheme = AsciiLower(url.substr(0, colon == std::string_view::npos ? 0 : colon));
  if (scheme.empty() ||
      scheme.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789+.-") != std::string::npos) {
    return std::string("it has no scheme (http, https or mailto)");
  }
  const std::string_view rest = url.substr(colon + 1);
  if (scheme == "mailto") {
    const std::string_view address = rest.substr(0, rest.find('?'));
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0 || !IsHost(address.substr(at + 1))) {
      return std::string("it names no address (mailto:name@host)");
    }
    return std::nullopt;
  }
  if (scheme != "http" && scheme != "https") {
    return "its scheme \"" + scheme + "\" is not http, https or mailto";
  }
  if (rest.substr(0, 2) != "//") return std::string("it names no host (" + scheme + "://host/)");
  std::string_view authority = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
  authority = authority.substr(
      authority.rfind('@') == std::string_view::npos ? 0 : authority.rfind('@') + 1);
  std::string_view host = authority;
  const std::size_t portAt = authority.rfind(':');
  if (portAt != std::string_view::npos && authority.find(']', portAt) == std::string_view::npos) {
    const std::string_view port = authority.substr(portAt + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos ||
        std::stoul(std::string(port)) > 65535) {
      return "its port \"" + std::string(port) + "\" is not a number up to 65535";
    }
    host = authority.substr(0, portAt);
  }
  if (host.empty()) return std::string("it names no host (" + scheme + "://host/)");
  if (!IsHost(host)) return "its host \"" + std::string(host) + "\" is not a host name";
  return std::nullopt;
}

bool IsClientLink(std::string_view url) { return !LinkProblem(url); }

namespace {

// The fix of a hyperlink whose scheme is a slip of http, https or mailto: the scheme
// corrected, where the url as written starts with it.
std::optional<Fix> SchemeFix(const LayoutDocument& document, const AboutItem& link) {
  const std::size_t colon = link.url->find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const std::string scheme = AsciiLower(link.url->substr(0, colon));
  const std::vector<std::string> schemes = {"http", "https", "mailto"};
  if (std::find(schemes.begin(), schemes.end(), scheme) != schemes.end()) return std::nullopt;
  const std::optional<std::string> nearest = Nearest(scheme, schemes);
  if (!nearest) return std::nullopt;
  const LayoutDocument::Element& element =
      document.Elements()[document.ElementAt(link.range.begin)];
  const auto url =
      std::find_if(element.attributes.begin(), element.attributes.end(),
                   [](const LayoutDocument::Attribute& a) { return a.name == vocabulary::kUrl; });
  if (url == element.attributes.end() ||
      AsciiLower(document.Text().substr(url->written.begin, colon + 1)) != scheme + ":") {
    return std::nullopt;
  }
  const std::size_t value = url->written.begin;
  return Fix{"Change the scheme " + scheme + " to " + *nearest,
             {{value, value + colon, *nearest}},
             std::nullopt};
}

}  // namespace

Finding LayoutFinding(const LayoutDocument& document, const std::string& file,
                      std::uint64_t textOffset, std::size_t at, FindingId id, std::string message) {
  const auto [line, column] = document.Position(at);
  Finding finding(&Kind(id), file, line, column,
                  textOffset == kNoOffset ? kNoOffset : textOffset + at, std::move(message));
  finding.element = document.ElementPath(at);
  finding.at = at;
  return finding;
}

void CheckLayoutText(const std::string& file, const LayoutDocument& document,
                     std::uint64_t textOffset, std::vector<Finding>& findings) {
  const std::string& text = document.Text();
  auto warn = [&](std::size_t at, FindingId id, std::string message) {
    findings.push_back(LayoutFinding(document, file, textOffset, at, id, std::move(message)));
  };
  std::size_t encodingAt = 0;
  const std::string encoding = DeclaredEncoding(text, encodingAt);
  if (!encoding.empty() && AsciiLower(encoding) != "utf-8") {
    warn(encodingAt, FindingId::kDeclaredEncoding,
         "declared encoding " + encoding +
             ": the package stores the text as it is, without "
             "its declaration, where a client reads UTF-8");
  }
  if (auto bad = FirstNonUtf8(text)) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[*bad]));
    warn(*bad, FindingId::kNotUtf8, std::string("text is not UTF-8: byte ") + byte);
  }

  const Layout& layout = document.Model();
  auto requireText = [&](const LayoutText& element, std::string_view what) {
    if (element.range && element.text.empty()) {
      warn(element.range->begin, FindingId::kEmptyText, std::string(what) + " is empty");
    }
  };
  requireText(layout.appName, vocabulary::kAppName);
  requireText(layout.aboutItem, vocabulary::kAboutItem);
  requireText(layout.quitItem, vocabulary::kQuitItem);
  if (layout.about && layout.title && layout.title->empty()) {
    warn(layout.about->begin, FindingId::kEmptyText, "the about title is empty");
  }
  for (const AboutLine& line : layout.lines) {
    for (const AboutItem& link : line.items) {
      if (link.kind != AboutItem::Kind::kHyperlink || !link.url) continue;  // a rule's
      if (auto problem = LinkProblem(*link.url)) {
        warn(link.range.begin, FindingId::kLinkUrl,
             "the hyperlink's url \"" + *link.url +
                 "\" is not a link the client opens: " + *problem);
        if (auto fix = SchemeFix(document, link)) findings.back().fixes.push_back(std::move(*fix));
      }
    }
  }
}

void ImageChecks::Check(const ImageFacts& image, const std::string& file, bool read, Learn learnt,
                        std::vector<Finding>& findings) {
  const bool stored = image.recordOffset != kNoOffset;
  // A package's image is told by its record, a file's by the file.
  const std::string subject = stored ? "image data of " + image.name + " " : "";
  auto add = [&](FindingId id, const std::string& message) {
    findings.push_back(
        {&Kind(id), file, stored ? 0 : 1, stored ? 0 : 1, image.recordOffset, message});
  };
  if (read) {
    if (Asks(learnt, Learn::kPixels) && !image.decoded.ok) {
      add(FindingId::kImageDecode, subject + "does not decode as " + FormatName(image.format) +
                                       ": " + image.decoded.problem);
    }
    const std::optional<std::uint32_t> says = FormatOfExtension(image.name);
    const bool saysPng = says == kFormatPng;
    const bool saysJpeg = says == kFormatJpeg;
    if ((saysPng && image.format != kFormatPng) || (saysJpeg && image.format != kFormatJpeg)) {
      add(FindingId::kImageExtension, subject + "the name says " + (saysPng ? "PNG" : "JPEG") +
                                          ", the content is " + FormatName(image.format));
    }
  }
  if (!IsExtractableName(image.name)) {
    add(FindingId::kImageNameRefused, "extract would refuse the image name \"" + image.name + "\"");
  } else if (std::any_of(image.name.begin(), image.name.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
             })) {
    add(FindingId::kImageNameControl, "the image name holds control bytes");
  }
  if (!read || !Asks(learnt, Learn::kDigest)) return;
  const std::string where =
      stored ? "the record at offset " + std::to_string(image.recordOffset) : file;
  const auto [seen, added] = byName_.emplace(image.name, std::make_pair(image.sha256, where));
  if (!added && seen->second.first != image.sha256) {
    add(FindingId::kImageNameShared, "the image name " + image.name + " is taken by " +
                                         seen->second.second + " with other content");
  }
}

std::vector<LintedImage> CheckImages(const std::vector<std::string>& paths,
                                     std::vector<Finding>& findings, Learn learn,
                                     ImageCache* cache) {
  std::vector<LintedImage> images;
  ImageChecks checks;
  for (const std::string& path : paths) {
    LintedImage image{path, {}, nullptr, std::nullopt};
    image.facts.name = std::string(ImageName(path));
    // Found by what the path reaches now; kept under the stamp of the file opened, taken when
    // it was opened (a change while it is read fails the read).
    const std::optional<FileStamp> stamp = cache != nullptr ? StampOf(path) : std::nullopt;
    const ImageCache::Entry* kept = stamp ? cache->Find(path, *stamp) : nullptr;
    if (kept != nullptr && cache->KeepsRecords() && kept->read && kept->record.empty()) {
      kept = nullptr;  // no record to give
    }
    if (kept != nullptr && cache->KeepsRecords() && kept->read) {
      // Copied, not read again: the writer takes the record.
      image.record =
          std::make_unique<cBP_COMPONENT_WRAPPER>(static_cast<std::uint32_t>(kept->record.size()));
      std::memcpy(image.record->data.get(), kept->record.data(), kept->record.size());
    }
    if (kept != nullptr) {
      image.facts = kept->facts;
      image.facts.name = std::string(ImageName(path));
      image.read = kept->read;
      image.id = kept->id;
      findings.insert(findings.end(), kept->findings.begin(), kept->findings.end());
      checks.Check(image.facts, path, image.read, learn, findings);
      images.push_back(std::move(image));
      continue;
    }
    const std::size_t before = findings.size();
    FileSource file(path);
    // Read once, as the packager would; the checks work on the record's copy.
    if (!file.IsOpen()) {
      findings.push_back({&Kind(FindingId::kImageUnreadable), path, 1, 1, kNoOffset,
                          "Unable to open Image file: " + path + " (" + file.OpenFailure() + ")"});
    } else {
      image.id = file.Id();
      try {
        image.record = MakeImageRecord(file, path);
        image.facts.format = ImageHeadField(image.record->data.get(), kImageFormatField);
      } catch (const cBP_EXCEPTION& e) {
        findings.push_back({&Kind(e.code == BP_ERR_MALFORMED ? FindingId::kImageFormat
                                                             : FindingId::kImageUnreadable),
                            path, 1, 1, kNoOffset, e.what()});
      }
    }
    image.read = image.record != nullptr;
    if (image.read) {
      image.facts.size = file.Size();
      MemorySource content(image.Content());
      // Memory does not fail to read.
      image.facts = LearnImage(content, image.facts, learn).value_or(image.facts);
    }
    if (stamp && file.IsOpen()) {
      std::string record;
      if (cache->KeepsRecords() && image.record) {
        record.assign(reinterpret_cast<const char*>(image.record->data.get()), image.record->size);
      }
      cache->Keep(path,
                  {{},
                   image.facts,
                   image.read,
                   image.id,
                   std::vector<Finding>(findings.begin() + static_cast<std::ptrdiff_t>(before),
                                        findings.end()),
                   std::move(record)},
                  file);
    }
    checks.Check(image.facts, path, image.read, learn, findings);
    images.push_back(std::move(image));
  }
  return images;
}

}  // namespace vantu::branding_package
