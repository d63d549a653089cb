#include "modules/InputMediaCommon/network_source.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "modules/InputMediaCommon/content_range.h"
#include "modules/InputMediaCommon/network_address.h"

namespace mivora::io {
namespace {

// A response cut short is resumed at most this many times within one read.
constexpr int kMaxResumes = 2;
// The longest one wait for the sockets lasts, so the progress watch is consulted often.
constexpr int kPollMs = 100;
// Consumed bytes at the front of the buffer are dropped once there are this many.
constexpr std::size_t kCompactBytes = 256 * 1024;

}  // namespace

std::unique_ptr<NetworkSource> NetworkSource::Open(std::string_view address,
                                                   std::int64_t first_bytes) {
  std::unique_ptr<NetworkSource> source(new NetworkSource());
  if (!source->Init(address)) return nullptr;
  if (!source->Start(0, std::max<std::int64_t>(first_bytes, 1) - 1)) return nullptr;
  source->watch_.Restart(source->NowMs());
  source->Pump(1);
  if (!source->head_good_ || source->length_ < 0) return nullptr;
  // Later requests go straight to where the redirects led.
  char* effective = nullptr;
  if (curl_easy_getinfo(source->easy_, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
      effective != nullptr) {
    source->url_ = effective;
  }
  return source;
}

NetworkSource::~NetworkSource() {
  Stop();
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  if (multi_ != nullptr) curl_multi_cleanup(multi_);
}

bool NetworkSource::Init(std::string_view address) {
  if (!IsNetworkAddress(address)) return false;
  static std::once_flag global;
  std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
  if (multi_ == nullptr || easy_ == nullptr) return false;
  url_ = EncodeAddress(address);
  CURL* e = easy_;
  // Only http and https, also where a redirect points: never a local file or another scheme.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(e, CURLOPT_USERAGENT, "Mivora");
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 64L * 1024);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &NetworkSource::OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &NetworkSource::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  if (const char* authorities = std::getenv("MIVORA_CA_BUNDLE");
      authorities != nullptr && *authorities != 0) {
    curl_easy_setopt(e, CURLOPT_CAINFO, authorities);
  }
  return true;
}

std::int64_t NetworkSource::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               epoch_)
      .count();
}

bool NetworkSource::Start(std::int64_t first, std::int64_t last) {
  Stop();
  pending_.clear();
  pending_pos_ = 0;
  first_ = first;
  last_ = last;
  next_pos_ = first < 0 ? 0 : first;
  accepted_end_ = next_pos_;
  end_pos_ = next_pos_;
  finished_ = false;
  timed_out_ = false;
  result_ = CURLE_OK;
  head_checked_ = false;
  head_good_ = false;
  paused_ = false;
  std::string range;
  if (first >= 0) range = std::to_string(first) + "-" + std::to_string(last);
  curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(easy_, CURLOPT_RANGE, first >= 0 ? range.c_str() : nullptr);
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    finished_ = true;
    result_ = CURLE_FAILED_INIT;
    return false;
  }
  active_ = true;
  return true;
}

void NetworkSource::Stop() {
  if (!active_) return;
  curl_multi_remove_handle(multi_, easy_);
  active_ = false;
  finished_ = true;
  paused_ = false;
}

void NetworkSource::Pump(std::int64_t want) {
  want_ = want;
  // Once the whole body is in, curl is driven on until it calls the transfer done, so that the
  // connection goes back for reuse instead of being closed as if the response were cut.
  const auto waiting = [&] {
    return static_cast<std::int64_t>(Buffered()) < want ||
           (head_good_ && accepted_end_ == end_pos_);
  };
  while (active_ && !finished_ && waiting()) {
    if (paused_) {
      // Unpausing hands over what curl held back, possibly right here.
      paused_ = false;
      curl_easy_pause(easy_, CURLPAUSE_CONT);
      continue;
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
        finished_ = true;
        result_ = message->data.result;
        timed_out_ = result_ == CURLE_OPERATION_TIMEDOUT;  // the connect limit
      }
    }
    if (finished_ || !waiting()) break;
    if (watch_.Expired(NowMs())) {
      timed_out_ = true;
      result_ = CURLE_OPERATION_TIMEDOUT;
      Stop();
      break;
    }
    curl_multi_poll(multi_, nullptr, 0, kPollMs, nullptr);
  }
  // A response without a body byte (an empty file, a refusal) is judged once it has ended.
  if (finished_ && !head_checked_) {
    head_checked_ = true;
    head_good_ = CheckHead();
  }
}

bool NetworkSource::CheckHead() {
  long status = 0;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t content_length = -1;
  curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &content_length);
  std::optional<ContentRange> range;
  curl_header* header = nullptr;
  if (curl_easy_header(easy_, "Content-Range", 0, CURLH_HEADER, -1, &header) == CURLHE_OK &&
      header != nullptr && header->value != nullptr) {
    range = ParseContentRange(header->value);
  }
  const auto length_matches = [&](std::int64_t bytes) {
    return content_length < 0 || content_length == bytes;
  };
  if (length_ < 0) {
    // The first response tells the length.
    if (status == 206 && range && range->first == 0 && range->total >= 0 &&
        length_matches(range->last + 1)) {
      length_ = range->total;
      end_pos_ = range->last + 1;
      return true;
    }
    if (status == 200 && content_length >= 0) {
      length_ = content_length;
      ranges_ = false;
      end_pos_ = length_;
      return true;
    }
    if (status == 416 && range && range->first < 0 && range->total == 0) {
      length_ = 0;  // an empty resource cannot satisfy any range
      end_pos_ = 0;
      return true;
    }
    return false;
  }
  if (first_ >= 0 && status == 206 && range && range->first == first_ && range->last <= last_ &&
      range->total == length_ && length_matches(range->last - range->first + 1)) {
    end_pos_ = range->last + 1;
    return true;
  }
  // The whole resource from the start serves a read from the start just as well.
  if (first_ <= 0 && status == 200 && content_length == length_) {
    if (first_ == 0) ranges_ = false;
    end_pos_ = length_;
    return true;
  }
  // Never hand out bytes from a response that does not match what was asked for; a 200 here
  // means the server ignores Range, so later jumps are refused without asking again.
  if (status == 200) ranges_ = false;
  return false;
}

std::size_t NetworkSource::OnHeader(char*, std::size_t size, std::size_t count, void* self) {
  auto* source = static_cast<NetworkSource*>(self);
  source->watch_.Arrived(source->NowMs(), 0);
  return size * count;
}

std::size_t NetworkSource::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
  auto* source = static_cast<NetworkSource*>(self);
  const std::size_t n = size * count;
  if (!source->head_checked_) {
    source->head_checked_ = true;
    source->head_good_ = source->CheckHead();
  }
  if (!source->head_good_) return 0;  // ends the transfer
  if (static_cast<std::int64_t>(source->Buffered()) >= source->want_) {
    // Enough for the waiting read: the rest stays with curl until a read asks for it.
    source->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  // A body longer than its head announced is broken; none of the surplus is taken.
  if (static_cast<std::int64_t>(n) > source->end_pos_ - source->accepted_end_) return 0;
  source->pending_.insert(source->pending_.end(), data, data + n);
  source->accepted_end_ += static_cast<std::int64_t>(n);
  source->watch_.Arrived(source->NowMs(), static_cast<std::int64_t>(n));
  source->since_timeout_bytes_ += static_cast<std::int64_t>(n);
  if (source->since_timeout_bytes_ >= kForgiveBytes) source->timeouts_ = 0;
  return n;
}

std::int64_t NetworkSource::ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) {
  if (given_up_ || pos < 0 || count <= 0 || pos >= length_) return 0;
  count = std::min(count, length_ - pos);
  // One watch for the whole read: a server answering each request with a byte or two cannot
  // keep a read going by starting fresh responses.
  watch_.Restart(NowMs());
  std::int64_t total = 0;
  int resumes = 0;
  while (total < count) {
    const std::int64_t at = pos + total;
    const std::int64_t need = count - total;
    const bool more_to_come = active_ && !finished_ && (!head_checked_ || next_pos_ < end_pos_);
    if (next_pos_ != at || (Buffered() == 0 && !more_to_come)) {
      if (ranges_) {
        if (!Start(at, at + need - 1)) break;
      } else if (at == 0) {
        // The server sends whole files only: the start is the one place it can serve again.
        if (!Start(-1, -1)) break;
      } else {
        break;
      }
    }
    Pump(need);
    const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(Buffered()), need);
    if (n > 0) {
      std::memcpy(buffer + total, pending_.data() + pending_pos_, static_cast<std::size_t>(n));
    }
    pending_pos_ += static_cast<std::size_t>(n);
    next_pos_ += n;
    total += n;
    if (pending_pos_ == pending_.size()) {
      pending_.clear();
      pending_pos_ = 0;
    } else if (pending_pos_ >= kCompactBytes) {
      pending_.erase(pending_.begin(),
                     pending_.begin() + static_cast<std::ptrdiff_t>(pending_pos_));
      pending_pos_ = 0;
    }
    if (n == need) continue;
    if (timed_out_) {
      since_timeout_bytes_ = 0;
      if (++timeouts_ >= 2) given_up_ = true;
      break;
    }
    // A response that ended where its head said goes on with a request for the rest.
    if (head_good_ && finished_ && result_ == CURLE_OK && next_pos_ == end_pos_ && n > 0) continue;
    // Cut short (closed or broken): keep what arrived, resume from there a few times.
    if (n == 0 || ++resumes > kMaxResumes) break;
  }
  return total;
}

}  // namespace mivora::io
