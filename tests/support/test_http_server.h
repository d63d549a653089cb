// Starts tests/support/http_server.py on a loopback port for the length of a test.
// Usage: mivora::test::TestHttpServer server("/dir", "normal");
//        server.Url("a.bin") -> "http://127.0.0.1:PORT/a.bin"; server.RequestCount().
// With TestHttpServerOptions it serves https:// (certificate and key files) or listens on ::1.
// Link the target with mivora_test_support so the script's location is known.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef MIVORA_TEST_HTTP_SERVER
#error "link with mivora_test_support (defines MIVORA_TEST_HTTP_SERVER)"
#endif

extern char** environ;

namespace mivora::test {

struct TestHttpServerOptions {
  std::string tlsCertificate;  // PEM files; both set means https://
  std::string tlsKey;
  bool ipv6 = false;
};

class TestHttpServer {
 public:
  // mode: normal, no-range, drop-after=N, stall-after=N, trickle, silent, status=CODE,
  // redirect=N (see the script).
  explicit TestHttpServer(const std::string& root, const std::string& mode = "normal",
                          int max_seconds = 300, const TestHttpServerOptions& options = {})
      : tls_(!options.tlsCertificate.empty()), ipv6_(options.ipv6) {
    log_path_ = TemporaryFile("/tmp/mivora_http_log_XXXXXX");
    connections_path_ = TemporaryFile("/tmp/mivora_http_connections_XXXXXX");

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string seconds = std::to_string(max_seconds);
    std::vector<std::string> args = {"python3",       MIVORA_TEST_HTTP_SERVER,
                                     "--root",        root,
                                     "--mode",        mode,
                                     "--log",         log_path_,
                                     "--max-seconds", seconds,
                                     "--connections", connections_path_};
    if (tls_) {
      args.insert(args.end(), {"--tls-cert", options.tlsCertificate, "--tls-key", options.tlsKey});
    }
    if (ipv6_) args.push_back("--ipv6");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      close(out[0]);
      pid_ = -1;
      throw std::runtime_error("cannot start python3");
    }
    // The port is the first line; give the interpreter a generous but bounded start-up time.
    std::string line;
    char c = 0;
    while (line.size() < 16) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0 || read(out[0], &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) {
      Stop();
      throw std::runtime_error("test HTTP server did not report a port");
    }
  }

  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  ~TestHttpServer() {
    Stop();
    if (!log_path_.empty()) unlink(log_path_.c_str());
    if (!connections_path_.empty()) unlink(connections_path_.c_str());
  }

  int port() const { return port_; }

  std::string Url(const std::string& path) const {
    return std::string(tls_ ? "https://" : "http://") + (ipv6_ ? "[::1]:" : "127.0.0.1:") +
           std::to_string(port_) + "/" + path;
  }

  // Request lines seen so far, each "METHOD PATH RANGE" (RANGE is "-" when absent).
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::ifstream in(log_path_);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  std::size_t RequestCount() const { return Requests().size(); }
  // Connections accepted so far.
  std::size_t ConnectionCount() const {
    std::ifstream in(connections_path_);
    std::size_t count = 0;
    for (std::string l; std::getline(in, l);) ++count;
    return count;
  }

 private:
  static std::string TemporaryFile(const char* pattern) {
    std::string name = pattern;
    const int fd = mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("cannot create a server log");
    close(fd);
    return name;
  }

  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }

  bool tls_ = false;
  bool ipv6_ = false;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string log_path_;
  std::string connections_path_;
};

}  // namespace mivora::test
