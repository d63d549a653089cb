// http:// addresses: parsing and resolving redirect targets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mivora::io {

struct HttpUrl {
  std::string host;  // without brackets for IPv6 literals
  std::string port = "80";
  std::string target;  // path and query as sent in the request line, starting with '/'

  // The Host header value.
  std::string HostHeader() const;
};

// True when text starts with "http://" (any letter case).
bool IsHttpUrl(std::string_view text);

// Parses "http://host[:port][/path][?query][#fragment]". Spaces, control and non-ASCII bytes in
// the path are percent-encoded; the fragment is dropped. Nothing for other schemes, user info,
// an empty host or a bad port.
std::optional<HttpUrl> ParseHttpUrl(std::string_view text);

// Resolves a Location header against the address that produced it: absolute http:// addresses,
// scheme-relative "//host/path", absolute paths and paths relative to the current directory.
std::optional<HttpUrl> ResolveLocation(const HttpUrl& base, std::string_view location);

}  // namespace mivora::io
