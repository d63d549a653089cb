#include "modules/InputMediaCommon/http_connection.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace mivora::io {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Non-negative decimal that fits comfortably in 64 bits; -1 otherwise.
std::int64_t ParseCount(std::string_view s) {
  s = Trim(s);
  if (s.empty() || s.size() > 18) return -1;
  std::int64_t v = 0;
  for (const char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

void ParseContentRange(std::string_view value, HttpResponseHead* head) {
  value = Trim(value);
  if (Lower(value.substr(0, 6)) != "bytes ") return;
  value.remove_prefix(6);
  const auto slash = value.find('/');
  if (slash == std::string_view::npos) return;
  const std::string_view span = Trim(value.substr(0, slash));
  head->range_total = ParseCount(value.substr(slash + 1));
  if (span == "*") return;
  const auto dash = span.find('-');
  if (dash == std::string_view::npos) return;
  const std::int64_t first = ParseCount(span.substr(0, dash));
  const std::int64_t last = ParseCount(span.substr(dash + 1));
  if (first < 0 || last < first) return;
  head->range_first = first;
  head->range_last = last;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

#if defined(__SANITIZE_THREAD__)
#define MIVORA_PLAIN_LOOKUP 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MIVORA_PLAIN_LOOKUP 1
#endif
#endif

// Numeric addresses need no name server. A name lookup may hang on a dead name server, so it runs
// through glibc's asynchronous resolver and is given up after kResolveTimeoutMs. A lookup that
// cannot be cancelled keeps its request record, leaked on purpose, because the resolver still
// writes into it when it finishes. ThreadSanitizer cannot follow the resolver's own threads, so
// its builds look names up synchronously.
addrinfo* Resolve(const std::string& host, const std::string& port) {
  addrinfo numeric_hints{};
  numeric_hints.ai_family = AF_UNSPEC;
  numeric_hints.ai_socktype = SOCK_STREAM;
  numeric_hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* result = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &numeric_hints, &result) == 0) return result;
#ifdef MIVORA_PLAIN_LOOKUP
  numeric_hints.ai_flags = AI_NUMERICSERV;
  return getaddrinfo(host.c_str(), port.c_str(), &numeric_hints, &result) == 0 ? result : nullptr;
#else
  struct Lookup {
    std::string host;
    std::string port;
    addrinfo hints{};
    gaicb request{};
  };
  auto* lookup = new Lookup{host, port};
  lookup->hints.ai_family = AF_UNSPEC;
  lookup->hints.ai_socktype = SOCK_STREAM;
  lookup->request.ar_name = lookup->host.c_str();
  lookup->request.ar_service = lookup->port.c_str();
  lookup->request.ar_request = &lookup->hints;
  gaicb* list[1] = {&lookup->request};
  if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
    delete lookup;
    return nullptr;
  }
  const std::int64_t deadline = NowMs() + kResolveTimeoutMs;
  int rc = gai_error(&lookup->request);
  while (rc == EAI_INPROGRESS) {
    const std::int64_t left = deadline - NowMs();
    if (left <= 0) break;
    const timespec wait{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
    const gaicb* waiting[1] = {&lookup->request};
    gai_suspend(waiting, 1, &wait);
    rc = gai_error(&lookup->request);
  }
  if (rc == EAI_INPROGRESS) {
    const int cancel = gai_cancel(&lookup->request);
    if (cancel == EAI_NOTCANCELED) return nullptr;
    rc = gai_error(&lookup->request);
    if (cancel == EAI_CANCELED || rc != 0) {
      delete lookup;
      return nullptr;
    }
  }
  result = rc == 0 ? lookup->request.ar_result : nullptr;
  delete lookup;
  return result;
#endif
}

}  // namespace

bool ParseResponseHead(std::string_view text, HttpResponseHead* head) {
  *head = HttpResponseHead{};
  auto next_line = [&text]() {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  };
  const std::string_view status_line = next_line();
  if (status_line.substr(0, 7) != "HTTP/1." || status_line.size() < 12 || status_line[8] != ' ') {
    return false;
  }
  const std::string_view code = status_line.substr(9, 3);
  if (ParseCount(code) < 100 || code.size() != 3) return false;
  head->status = static_cast<int>(ParseCount(code));
  // HTTP/1.0 servers close after each response unless they say otherwise.
  head->keep_alive = status_line[7] != '0';
  while (!text.empty()) {
    const std::string_view line = next_line();
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
      head->content_length = ParseCount(value);
    } else if (name == "content-range") {
      ParseContentRange(value, head);
    } else if (name == "location") {
      head->location = std::string(value);
    } else if (name == "connection") {
      const std::string v = Lower(value);
      if (v.find("close") != std::string::npos) head->keep_alive = false;
      if (v.find("keep-alive") != std::string::npos) head->keep_alive = true;
    } else if (name == "transfer-encoding") {
      if (Lower(value) != "identity") head->chunked = true;
    }
  }
  return true;
}

bool HttpConnection::Connect(const HttpUrl& url) {
  Close();
  addrinfo* list = Resolve(url.host, url.port);
  if (list == nullptr) return false;
  const std::int64_t deadline = NowMs() + kConnectTimeoutMs;
  for (addrinfo* ai = list; ai != nullptr && fd_ < 0; ai = ai->ai_next) {
    const int fd =
        socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) continue;
    int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      const std::int64_t left = deadline - NowMs();
      pollfd p{fd, POLLOUT, 0};
      int err = ETIMEDOUT;
      socklen_t len = sizeof(err);
      if (left > 0 && poll(&p, 1, static_cast<int>(left)) == 1) {
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = EIO;
      }
      rc = err == 0 ? 0 : -1;
    }
    if (rc == 0) {
      const int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      fd_ = fd;
    } else {
      close(fd);
    }
    if (NowMs() >= deadline) break;
  }
  freeaddrinfo(list);
  if (fd_ < 0) return false;
  host_ = url.host;
  port_ = url.port;
  return true;
}

void HttpConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  staged_.clear();
  staged_pos_ = 0;
}

bool HttpConnection::PeerClosedIdle() {
  if (fd_ < 0) return true;
  if (staged_pos_ < staged_.size()) return true;
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) != 0;
}

bool HttpConnection::WaitFor(short events, int timeout_ms) {
  pollfd p{fd_, events, 0};
  for (;;) {
    const int rc = timeout_ms > 0 ? poll(&p, 1, timeout_ms) : 0;
    if (rc > 0) return true;
    if (rc == 0) {
      timed_out_ = true;
      return false;
    }
    if (errno != EINTR) return false;
  }
}

bool HttpConnection::SendAll(std::string_view data) {
  timed_out_ = false;
  while (!data.empty()) {
    if (fd_ < 0) return false;
    const ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!WaitFor(POLLOUT)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool HttpConnection::ReadHead(HttpResponseHead* head, bool* got_any) {
  timed_out_ = false;
  *got_any = staged_pos_ < staged_.size();
  staged_.erase(0, staged_pos_);
  staged_pos_ = 0;
  const std::int64_t deadline = NowMs() + kHeadTimeoutMs;
  char chunk[4096];
  for (;;) {
    std::size_t end = staged_.find("\r\n\r\n");
    std::size_t skip = 4;
    if (const std::size_t lf = staged_.find("\n\n"); lf < end) {
      end = lf;
      skip = 2;
    }
    if (end != std::string::npos) {
      const bool ok = ParseResponseHead(std::string_view(staged_).substr(0, end), head);
      staged_pos_ = end + skip;
      return ok;
    }
    if (staged_.size() > kMaxHeadBytes || fd_ < 0) return false;
    const ssize_t n = recv(fd_, chunk, sizeof(chunk), 0);
    if (n > 0) {
      *got_any = true;
      staged_.append(chunk, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      const auto left = static_cast<int>(std::min<std::int64_t>(deadline - NowMs(), kIoTimeoutMs));
      if (!WaitFor(POLLIN, left)) return false;
    } else {
      return false;
    }
  }
}

std::int64_t HttpConnection::ReadBody(std::uint8_t* buffer, std::int64_t count) {
  timed_out_ = false;
  std::int64_t total = 0;
  if (staged_pos_ < staged_.size() && count > 0) {
    const std::int64_t n =
        std::min<std::int64_t>(count, static_cast<std::int64_t>(staged_.size() - staged_pos_));
    std::memcpy(buffer, staged_.data() + staged_pos_, static_cast<std::size_t>(n));
    staged_pos_ += static_cast<std::size_t>(n);
    total = n;
  }
  while (total < count && fd_ >= 0) {
    const ssize_t n = recv(fd_, buffer + total, static_cast<std::size_t>(count - total), 0);
    if (n > 0) {
      total += n;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!WaitFor(POLLIN)) break;
    } else {
      break;
    }
  }
  return total;
}

}  // namespace mivora::io
