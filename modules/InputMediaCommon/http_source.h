// http:// resources read with Range requests over one keep-alive connection.
// - Each read asks for exactly the bytes wanted ("Range: bytes=a-b"); the block cache above makes
//   those whole blocks. A read that continues where the current response body stands goes on
//   reading it without a new request.
// - A server that answers a Range request with 200 (whole file) is served only from that stream:
//   reading on from the start works, a read elsewhere fails (returns 0) rather than hand out
//   bytes from the wrong place. A 206 whose Content-Range differs from what was asked is refused
//   the same way.
// - A response cut short keeps the bytes that arrived and is resumed with a new request up to
//   twice within one read; after that the read comes back short.
// - Redirects (301, 302, 303, 307, 308; absolute or relative Location) are followed up to
//   kMaxRedirects per request; later requests go straight to the final address.
// - Chunked responses and lengths of unknown size are refused: the player needs the length.
#pragma once

#include <memory>
#include <string_view>

#include "modules/InputMediaCommon/byte_source.h"
#include "modules/InputMediaCommon/http_connection.h"
#include "modules/InputMediaCommon/http_url.h"

namespace mivora::io {

// Redirects followed for one request; one more fails it.
inline constexpr int kMaxRedirects = 5;

class HttpSource final : public ByteSource {
 public:
  // Sends the first request (bytes 0 .. first_bytes-1) to learn the length; its body is kept
  // pending on the connection for the first read. Null on any failure: bad address, no
  // connection, time-out, status other than 200/206 (after redirects), unknown length.
  static std::unique_ptr<HttpSource> Open(std::string_view address, std::int64_t first_bytes);

  std::int64_t Length() const override { return length_; }
  std::int64_t ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) override;

 private:
  explicit HttpSource(HttpUrl url) : url_(std::move(url)) {}
  // GET with "Range: bytes=first-last" (no Range header when first < 0), following redirects.
  bool Get(std::int64_t first, std::int64_t last, HttpResponseHead* head);
  // One request/response exchange on the current or a new connection.
  bool Exchange(const std::string& request, HttpResponseHead* head);
  // Starts the response body for bytes from pos on; false when the server cannot serve them.
  bool StartBodyAt(std::int64_t pos, std::int64_t count);
  void AbandonBody();

  HttpUrl url_;
  HttpConnection conn_;
  std::int64_t length_ = 0;
  bool ranges_ = true;          // false once the server answered a Range request with 200
  std::int64_t body_pos_ = 0;   // source position of the next body byte on the connection
  std::int64_t body_left_ = 0;  // body bytes still to come on the connection
  bool close_after_body_ = false;
};

}  // namespace mivora::io
