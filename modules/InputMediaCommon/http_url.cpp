#include "modules/InputMediaCommon/http_url.h"

#include <cctype>

namespace mivora::io {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// Percent-encodes bytes that may not appear raw in a request line.
std::string EncodeTarget(std::string_view raw) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}') {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

}  // namespace

std::string HttpUrl::HostHeader() const {
  const std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return port == "80" ? name : name + ":" + port;
}

bool IsHttpUrl(std::string_view text) {
  return StartsWithNoCase(text, "http://");
}

std::optional<HttpUrl> ParseHttpUrl(std::string_view text) {
  if (!IsHttpUrl(text)) return std::nullopt;
  std::string_view rest = text.substr(7);
  if (const auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
  const auto slash = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, slash);
  std::string_view target = slash == std::string_view::npos ? "/" : rest.substr(slash);
  if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;

  HttpUrl url;
  std::string_view port;
  if (authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    url.host = std::string(authority.substr(1, close - 1));
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else {
    const auto colon = authority.rfind(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) port = authority.substr(colon + 1);
  }
  if (url.host.empty()) return std::nullopt;
  if (!port.empty()) {
    if (port.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (const char c : port) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    url.port = std::to_string(value);
  }
  url.target = EncodeTarget(target);
  if (url.target.front() != '/') url.target.insert(url.target.begin(), '/');
  return url;
}

std::optional<HttpUrl> ResolveLocation(const HttpUrl& base, std::string_view location) {
  while (!location.empty() && (location.front() == ' ' || location.front() == '\t')) {
    location.remove_prefix(1);
  }
  if (location.empty()) return std::nullopt;
  if (IsHttpUrl(location)) return ParseHttpUrl(location);
  // Any other scheme (https:, ftp:) cannot be followed by this client.
  const auto colon = location.find(':');
  const auto first_slash = location.find('/');
  if (colon != std::string_view::npos &&
      (first_slash == std::string_view::npos || colon < first_slash)) {
    return std::nullopt;
  }
  if (location.substr(0, 2) == "//") return ParseHttpUrl("http:" + std::string(location));
  HttpUrl url = base;
  std::string_view loc = location;
  if (const auto hash = loc.find('#'); hash != std::string_view::npos) loc = loc.substr(0, hash);
  if (loc.front() == '/') {
    url.target = EncodeTarget(loc);
  } else {
    std::string dir = base.target.substr(0, base.target.find('?'));
    dir = dir.substr(0, dir.rfind('/') + 1);
    url.target = dir + EncodeTarget(loc);
  }
  return url;
}

}  // namespace mivora::io
