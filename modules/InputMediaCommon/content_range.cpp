#include "modules/InputMediaCommon/content_range.h"

namespace mivora::io {
namespace {

constexpr std::int64_t kMaxNumber = std::int64_t{1} << 62;

void TrimBlanks(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
}

// Decimal digits only, at least one, at most kMaxNumber.
std::optional<std::int64_t> Number(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > (kMaxNumber - (c - '0')) / 10) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  TrimBlanks(value);
  if (value.size() < 6 || value.substr(0, 6) != "bytes ") return std::nullopt;
  value.remove_prefix(6);
  TrimBlanks(value);
  const auto slash = value.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view span = value.substr(0, slash);
  const std::string_view total = value.substr(slash + 1);
  ContentRange range;
  if (total != "*") {
    const auto n = Number(total);
    if (!n) return std::nullopt;
    range.total = *n;
  }
  if (span == "*") {
    if (range.total < 0) return std::nullopt;  // "*/*" says nothing
    return range;
  }
  const auto dash = span.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto first = Number(span.substr(0, dash));
  const auto last = Number(span.substr(dash + 1));
  if (!first || !last || *first > *last) return std::nullopt;
  if (range.total >= 0 && *last >= range.total) return std::nullopt;
  range.first = *first;
  range.last = *last;
  return range;
}

}  // namespace mivora::io
