// The Content-Range header of a 206 or 416 response.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mivora::io {

struct ContentRange {
  std::int64_t first = -1;  // -1 for "bytes */total"
  std::int64_t last = -1;
  std::int64_t total = -1;  // -1 for "bytes a-b/*"
};

// Parses "bytes a-b/total", "bytes a-b/*" and "bytes */total" (surrounding blanks allowed).
// Nothing for any other unit or form, for a > b, for b >= total, and for numbers beyond 2^62.
std::optional<ContentRange> ParseContentRange(std::string_view value);

}  // namespace mivora::io
