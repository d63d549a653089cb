#include "modules/InputMediaCommon/http_source.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace mivora::io {
namespace {

// Leftover body bytes up to this size are read and dropped to keep the connection; larger rests
// are cheaper to abandon with the connection.
constexpr std::int64_t kDrainLimit = 64 * 1024;
// A response cut short is resumed at most this many times within one read.
constexpr int kMaxResumes = 2;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::unique_ptr<HttpSource> HttpSource::Open(std::string_view address, std::int64_t first_bytes) {
  auto url = ParseHttpUrl(address);
  if (!url) return nullptr;
  std::unique_ptr<HttpSource> source(new HttpSource(*url));
  if (first_bytes < 1) first_bytes = 1;
  HttpResponseHead head;
  if (!source->Get(0, first_bytes - 1, &head)) return nullptr;
  if (head.chunked) return nullptr;  // no length to go by
  if (head.status == 206) {
    if (head.range_first != 0 || head.range_total < 0 || head.range_last >= head.range_total) {
      return nullptr;
    }
    source->length_ = head.range_total;
    source->body_left_ = head.range_last + 1;
  } else if (head.status == 200) {
    if (head.content_length < 0) return nullptr;
    source->ranges_ = false;
    source->length_ = head.content_length;
    source->body_left_ = head.content_length;
  } else if (head.status == 416 && head.range_total == 0) {
    source->length_ = 0;  // an empty resource cannot satisfy any range
    source->body_left_ = head.content_length > 0 ? head.content_length : 0;
    source->AbandonBody();
  } else {
    return nullptr;
  }
  if (head.content_length >= 0 && head.status == 206 && head.content_length != source->body_left_) {
    return nullptr;
  }
  source->body_pos_ = 0;
  source->close_after_body_ = !head.keep_alive;
  return source;
}

bool HttpSource::Exchange(const std::string& request, HttpResponseHead* head) {
  // A kept-alive connection may have been closed by the server in the meantime; such a
  // connection fails before any response byte arrives and is retried once on a fresh one.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (conn_.IsOpen() && (!conn_.IsTo(url_) || conn_.PeerClosedIdle())) conn_.Close();
    const bool reused = conn_.IsOpen();
    if (!reused && !conn_.Connect(url_)) return false;
    bool got_any = false;
    if (conn_.SendAll(request)) {
      if (conn_.ReadHead(head, &got_any)) {
        // Interim 1xx answers are skipped.
        while (head->status < 200) {
          if (!conn_.ReadHead(head, &got_any)) {
            conn_.Close();
            return false;
          }
        }
        return true;
      }
    }
    const bool retry = reused && !got_any && !conn_.timed_out();
    conn_.Close();
    if (!retry) return false;
  }
  return false;
}

bool HttpSource::Get(std::int64_t first, std::int64_t last, HttpResponseHead* head) {
  AbandonBody();
  for (int redirects = 0;; ++redirects) {
    std::string request = "GET " + url_.target + " HTTP/1.1\r\nHost: " + url_.HostHeader() +
                          "\r\nUser-Agent: Mivora\r\nAccept-Encoding: identity\r\n";
    if (first >= 0) {
      request += "Range: bytes=" + std::to_string(first) + "-" + std::to_string(last) + "\r\n";
    }
    request += "\r\n";
    if (!Exchange(request, head)) return false;
    if (!IsRedirect(head->status)) return true;
    // Later requests go straight to where the last redirect led.
    body_left_ = head->chunked ? kDrainLimit + 1 : std::max<std::int64_t>(head->content_length, 0);
    close_after_body_ = !head->keep_alive;
    AbandonBody();
    if (redirects == kMaxRedirects) return false;
    auto next = ResolveLocation(url_, head->location);
    if (!next) return false;
    url_ = *next;
  }
}

void HttpSource::AbandonBody() {
  if (body_left_ > 0 && body_left_ <= kDrainLimit && conn_.IsOpen() && !close_after_body_) {
    std::vector<std::uint8_t> sink(static_cast<std::size_t>(body_left_));
    if (conn_.ReadBody(sink.data(), body_left_) != body_left_) conn_.Close();
  } else if (body_left_ > 0 || close_after_body_) {
    conn_.Close();
  }
  body_left_ = 0;
  close_after_body_ = false;
}

bool HttpSource::StartBodyAt(std::int64_t pos, std::int64_t count) {
  HttpResponseHead head;
  if (!ranges_) {
    // The server sends whole files only: the start is the one place it can serve again.
    if (pos != 0 || !Get(-1, -1, &head)) return false;
    if (head.status != 200 || head.chunked || head.content_length != length_) {
      AbandonBody();
      conn_.Close();
      return false;
    }
    body_pos_ = 0;
    body_left_ = length_;
    close_after_body_ = !head.keep_alive;
    return true;
  }
  if (!Get(pos, pos + count - 1, &head)) return false;
  const std::int64_t expected_last = pos + count - 1;
  const bool good = head.status == 206 && !head.chunked && head.range_first == pos &&
                    head.range_last >= pos && head.range_last <= expected_last &&
                    head.range_total == length_ &&
                    (head.content_length < 0 || head.content_length == head.range_last - pos + 1);
  if (!good && head.status == 200 && pos == 0 && !head.chunked && head.content_length == length_) {
    // The whole resource from the start serves a read from the start just as well.
    ranges_ = false;
    body_pos_ = 0;
    body_left_ = length_;
    close_after_body_ = !head.keep_alive;
    return true;
  }
  if (!good) {
    // Never hand out bytes from a response that does not match what was asked for; a 200 here
    // means the server ignores Range, so later jumps are refused without asking again.
    if (head.status == 200) ranges_ = false;
    conn_.Close();
    body_left_ = 0;
    return false;
  }
  body_pos_ = pos;
  body_left_ = head.range_last - pos + 1;
  close_after_body_ = !head.keep_alive;
  return true;
}

std::int64_t HttpSource::ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) {
  if (pos < 0 || count <= 0 || pos >= length_) return 0;
  if (count > length_ - pos) count = length_ - pos;
  std::int64_t total = 0;
  int resumes = 0;
  while (total < count) {
    const std::int64_t at = pos + total;
    const std::int64_t need = count - total;
    if (body_left_ <= 0 || body_pos_ != at || !conn_.IsOpen()) {
      if (!StartBodyAt(at, need)) break;
    }
    const std::int64_t want = std::min(need, body_left_);
    const std::int64_t got = conn_.ReadBody(buffer + total, want);
    total += got;
    body_pos_ += got;
    body_left_ -= got;
    if (got < want) {
      // Cut short (closed or timed out): keep what arrived, resume from there a few times.
      conn_.Close();
      body_left_ = 0;
      if (got == 0 || conn_.timed_out() || ++resumes > kMaxResumes) break;
    } else if (body_left_ == 0 && close_after_body_) {
      conn_.Close();
    }
  }
  return total;
}

}  // namespace mivora::io
