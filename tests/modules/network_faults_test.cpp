// Servers that misbehave, https://, IPv6, proxies and kept-alive connections, against the
// input modules over the loopback test server.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/modules/input_module_fixture.h"
#include "tests/support/test_http_server.h"

namespace mivora::test {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Reads on from the start in pieces, as a reader streaming the file does, until a read comes back
// empty; the bytes must be the file's.
std::vector<std::uint8_t> ReadOn(InputModule& module, std::int32_t piece = 8192) {
  std::vector<std::uint8_t> all;
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(piece));
  while (true) {
    const std::int32_t got = module.read(buf.data(), piece);
    if (got <= 0) break;
    all.insert(all.end(), buf.begin(), buf.begin() + got);
  }
  return all;
}

// Sets an environment variable for the length of a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

// The bound the modules promise for a source that makes no useful progress is 10 s of reading;
// the checks allow for a slow machine on top.
constexpr double kNoProgressBound = 13.0;

TEST(NetworkFaultsTest, ATricklingBodyFailsWithinTheBoundAndStaysFailed) {
  TestFolder folder;
  InputModule module(u"InputMedia.dll");
  ASSERT_TRUE(module.ok());
  TestHttpServer server(folder.path(), "trickle");
  const auto start = Clock::now();
  ASSERT_EQ(module.Open(server.Url("data.bin")), 300000);
  const std::vector<std::uint8_t> got = ReadOn(module);
  EXPECT_LT(SecondsSince(start), kNoProgressBound);
  EXPECT_LT(got.size(), 1000u);
  EXPECT_EQ(got, Slice(folder.data(), 0, got.size()));
  // Given up: later reads anywhere end at once instead of waiting again.
  const auto after = Clock::now();
  EXPECT_TRUE(module.ReadAt(200000, 100).empty());
  EXPECT_TRUE(module.ReadAt(static_cast<std::int32_t>(got.size()), 100).empty());
  EXPECT_LT(SecondsSince(after), 0.5);
}

TEST(NetworkFaultsTest, AServerStallingAfter100kBCostsABoundedTimeNotOnePerRequest) {
  TestFolder folder;
  const std::vector<std::uint8_t> clip = TestBytes(1100000, 5);
  folder.Write("clip.bin", clip);
  for (const char16_t* name : {u"InputMedia.dll", u"InputMediaCache.dll"}) {
    InputModule module(name);
    ASSERT_TRUE(module.ok());
    TestHttpServer server(folder.path(), "stall-after=100000");
    const auto start = Clock::now();
    ASSERT_EQ(module.Open(server.Url("clip.bin")), 1100000);
    const std::vector<std::uint8_t> got = ReadOn(module);
    EXPECT_LT(SecondsSince(start), kNoProgressBound);
    EXPECT_GE(got.size(), 100000u);
    EXPECT_LT(got.size(), clip.size());
    EXPECT_EQ(got, Slice(clip, 0, got.size()));
    // Two stalls end the source: a few requests, not one per block of the file.
    EXPECT_LE(server.RequestCount(), 6u);
  }
}

TEST(NetworkFaultsTest, TheHeaderPassOnAServerIgnoringRangeFailsWithTheReason) {
  TestFolder folder;
  TestHttpServer server(folder.path(), "no-range");
  for (const char16_t* name : {u"InputMedia.dll", u"InputMediaCache.dll"}) {
    InputModule module(name);
    ASSERT_TRUE(module.ok());
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(module.Open(server.Url("data.bin"), -1, 1000000), 0);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(server.Url("data.bin") + ": the server ignores Range requests"),
              std::string::npos)
        << said;
    // Reading front to back, as the streaming reader does, still works.
    ASSERT_EQ(module.Open(server.Url("data.bin"), 4000000, 0), 300000);
    EXPECT_EQ(ReadOn(module, 30000), folder.data());
  }
}

// A self-signed certificate for 127.0.0.1 and its key, made by the openssl tool.
bool MakeCertificate(const TestFolder& folder) {
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
      "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
      folder.File("key.pem") + "' -out '" + folder.File("cert.pem") + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST(NetworkFaultsTest, HttpsReadsWithRangesAndRefusesCertificatesNotTrusted) {
  TestFolder folder;
  ASSERT_TRUE(MakeCertificate(folder)) << "openssl could not make a certificate";
  TestHttpServerOptions tls;
  tls.tlsCertificate = folder.File("cert.pem");
  tls.tlsKey = folder.File("key.pem");
  TestHttpServer server(folder.path(), "normal", 300, tls);
  ASSERT_EQ(server.Url("x").substr(0, 8), "https://");
  for (const char16_t* name : {u"InputMedia.dll", u"InputMediaCache.dll"}) {
    InputModule module(name);
    ASSERT_TRUE(module.ok());
    {
      // The system's authorities do not know the test's certificate.
      ScopedEnv none("MIVORA_CA_BUNDLE", nullptr);
      EXPECT_EQ(module.Open(server.Url("data.bin")), 0);
    }
    ScopedEnv trusted("MIVORA_CA_BUNDLE", folder.File("cert.pem").c_str());
    ASSERT_EQ(module.Open(server.Url("data.bin")), 300000);
    EXPECT_EQ(module.ReadAt(299000, 2000), Slice(folder.data(), 299000, 1000));
    EXPECT_EQ(module.ReadAt(100, 150000), Slice(folder.data(), 100, 150000));
    // The certificate names 127.0.0.1 only: the same server under another name is refused.
    EXPECT_EQ(module.Open("https://localhost:" + std::to_string(server.port()) + "/data.bin"), 0);
  }
  for (const auto& line : server.Requests()) EXPECT_NE(line.find(" bytes="), std::string::npos);
}

TEST(NetworkFaultsTest, IPv6KeepAliveAndProxiesFromTheEnvironment) {
  TestFolder folder;
  {
    TestHttpServerOptions v6;
    v6.ipv6 = true;
    TestHttpServer server(folder.path(), "normal", 300, v6);
    InputModule module(u"InputMedia.dll");
    ASSERT_TRUE(module.ok());
    ASSERT_EQ(server.Url("x").substr(0, 12), "http://[::1]");
    ASSERT_EQ(module.Open(server.Url("data.bin")), 300000);
    // One kept-alive connection carries every request of a front-to-back read.
    EXPECT_EQ(ReadOn(module, 30000), folder.data());
    EXPECT_EQ(server.RequestCount(), 5u);
    EXPECT_EQ(server.ConnectionCount(), 1u);
  }
  {
    // The address names a host that does not exist; only the proxy can answer it.
    TestHttpServer proxy(folder.path());
    const std::string via = "http://127.0.0.1:" + std::to_string(proxy.port());
    ScopedEnv http("http_proxy", via.c_str());
    ScopedEnv none("no_proxy", nullptr);
    ScopedEnv none_upper("NO_PROXY", nullptr);
    InputModule module(u"InputMediaCache.dll");
    ASSERT_TRUE(module.ok());
    ASSERT_EQ(module.Open("http://mivora.invalid/small.bin"), 1000);
    EXPECT_EQ(module.ReadAt(0, 1000), folder.small());
    const auto requests = proxy.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].substr(0, 36), "GET http://mivora.invalid/small.bin ");
  }
}

}  // namespace
}  // namespace mivora::test
