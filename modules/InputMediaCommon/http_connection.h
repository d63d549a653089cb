// One HTTP/1.1 client connection over a POSIX socket, with bounded waits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "modules/InputMediaCommon/http_url.h"

namespace mivora::io {

// A dead or silent server must not hang the player: a name lookup may take at most
// kResolveTimeoutMs, connecting (all addresses of a host
// together) may take at most kConnectTimeoutMs, and every single wait for the server to send or
// accept bytes at most kIoTimeoutMs.
inline constexpr int kResolveTimeoutMs = 5000;
inline constexpr int kConnectTimeoutMs = 5000;
inline constexpr int kIoTimeoutMs = 5000;
// A response head must arrive whole within kHeadTimeoutMs, so a server trickling header bytes
// cannot hold a request either; bodies are bounded by kIoTimeoutMs of silence only, since a slow
// link may legitimately take long for a large range.
inline constexpr int kHeadTimeoutMs = 10000;
// Status line and headers larger than this are treated as a broken response.
inline constexpr std::size_t kMaxHeadBytes = 32 * 1024;

struct HttpResponseHead {
  int status = 0;
  std::int64_t content_length = -1;  // -1 when absent
  // From Content-Range "bytes a-b/total" or "bytes */total"; -1 when absent or "*".
  std::int64_t range_first = -1;
  std::int64_t range_last = -1;
  std::int64_t range_total = -1;
  std::string location;
  bool keep_alive = true;
  bool chunked = false;
};

// Parses a status line plus header lines (CRLF or LF separated, without the blank line).
// False for anything that is not an HTTP/1.x response head.
bool ParseResponseHead(std::string_view text, HttpResponseHead* head);

class HttpConnection {
 public:
  HttpConnection() = default;
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;
  ~HttpConnection() { Close(); }

  bool Connect(const HttpUrl& url);
  bool IsOpen() const { return fd_ >= 0; }
  // True when open to the same host and port as url.
  bool IsTo(const HttpUrl& url) const { return IsOpen() && url.host == host_ && url.port == port_; }
  void Close();
  // True when the peer has closed an idle connection (or sent something unasked for).
  bool PeerClosedIdle();

  bool SendAll(std::string_view data);
  // Reads the next response head. got_any tells whether any byte arrived, so a caller can tell a
  // keep-alive connection the server had already closed from a broken response.
  bool ReadHead(HttpResponseHead* head, bool* got_any);
  // Reads up to count body bytes, waiting for each piece; fewer on close, error or time-out.
  std::int64_t ReadBody(std::uint8_t* buffer, std::int64_t count);
  bool timed_out() const { return timed_out_; }

 private:
  // Waits up to timeout_ms (default kIoTimeoutMs) for events.
  bool WaitFor(short events, int timeout_ms = kIoTimeoutMs);
  int fd_ = -1;
  std::string host_;
  std::string port_;
  std::string staged_;  // bytes received past the response head
  std::size_t staged_pos_ = 0;
  bool timed_out_ = false;
};

}  // namespace mivora::io
