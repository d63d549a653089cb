// http:// and https:// resources read through libcurl with Range requests.
// - Each read asks for exactly the bytes wanted ("Range: bytes=a-b"); the block cache above makes
//   those whole blocks. A read that continues where the current response stands goes on reading
//   it without a new request; the response is only drawn from as far as reads ask, so a whole
//   file sent by a server that ignores Range is not buffered in memory.
// - A server that answers a Range request with 200 (whole file) is served only from that stream:
//   reading on from the start works, a read elsewhere fails (returns 0) rather than hand out
//   bytes from the wrong place. A 206 whose Content-Range differs from what was asked is refused
//   the same way. Such a source is not seekable().
// - A response cut short keeps the bytes that arrived and is resumed with a new request up to
//   twice within one read; after that the read comes back short.
// - Redirects are followed up to kMaxRedirects per request, over http and https only; later
//   requests go straight to the final address.
// - Lengths of unknown size are refused: the player needs the length.
// - Connections are kept alive between requests; IPv6 addresses and host names with IPv6
//   addresses work; proxies come from the environment (http_proxy, https_proxy, no_proxy);
//   https:// certificates are checked against the system's authorities, or against the PEM file
//   that MIVORA_CA_BUNDLE names.
// - Time limits: a read (or the open) ends when ProgressWatch finds it stalled or trickling
//   (4 s), over however many requests it took; connecting (name lookup and TLS included) is
//   held to kConnectTimeoutMs besides. A source whose reads time out twice without
//   kForgiveBytes arriving in between is given up: every later read returns 0 at once. So a
//   source that makes no useful progress fails within 10 s of reading.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "modules/InputMediaCommon/byte_source.h"
#include "modules/InputMediaCommon/progress_watch.h"

namespace mivora::io {

inline constexpr int kMaxRedirects = 5;
inline constexpr long kConnectTimeoutMs = 5000;
inline constexpr std::int64_t kForgiveBytes = 1 << 20;

class NetworkSource final : public ByteSource {
 public:
  // Sends the first request (bytes 0 .. first_bytes-1) and waits for its head to learn the
  // length; its body stays pending for the first read. Null on any failure: bad address, no
  // connection, time-out, status other than 200/206 (after redirects), unknown length.
  static std::unique_ptr<NetworkSource> Open(std::string_view address, std::int64_t first_bytes);
  ~NetworkSource() override;
  NetworkSource(const NetworkSource&) = delete;
  NetworkSource& operator=(const NetworkSource&) = delete;

  std::int64_t Length() const override { return length_; }
  std::int64_t ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) override;
  // False when the server ignores Range: only reading on from the start can be served.
  bool seekable() const { return ranges_; }
  bool given_up() const { return given_up_; }

 private:
  NetworkSource() = default;
  bool Init(std::string_view address);
  // Starts a request for bytes first..last (no Range header when first < 0).
  bool Start(std::int64_t first, std::int64_t last);
  // Removes the current transfer; an unfinished one takes its connection with it.
  void Stop();
  // Drives the transfer until want bytes are buffered or it has ended (or watch_ expired).
  void Pump(std::int64_t want);
  // Checks the final response head against what was asked; false refuses the response.
  bool CheckHead();
  std::size_t Buffered() const { return pending_.size() - pending_pos_; }
  std::int64_t NowMs() const;
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);

  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  std::string url_;
  std::int64_t length_ = -1;  // -1 until the first response head told it
  bool ranges_ = true;        // false once the server answered a Range request with 200
  bool given_up_ = false;
  int timeouts_ = 0;                      // transfers ended for lack of progress ...
  std::int64_t since_timeout_bytes_ = 0;  // ... and the bytes that arrived since the last one

  // The current transfer.
  bool active_ = false;    // added to the multi handle
  bool finished_ = false;  // ended (or was stopped); result_ tells how
  bool timed_out_ = false;
  CURLcode result_ = CURLE_OK;
  bool head_checked_ = false;
  bool head_good_ = false;
  bool paused_ = false;
  std::int64_t first_ = -1;  // asked range; -1 for none
  std::int64_t last_ = -1;
  std::int64_t next_pos_ = 0;      // source position of the next buffered byte
  std::int64_t end_pos_ = 0;       // one past the last byte the response will deliver
  std::int64_t accepted_end_ = 0;  // one past the last byte accepted into pending_
  std::int64_t want_ = 0;          // bytes a read waits for; more are left inside curl
  std::vector<std::uint8_t> pending_;
  std::size_t pending_pos_ = 0;
  ProgressWatch watch_;
  std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
};

}  // namespace mivora::io
