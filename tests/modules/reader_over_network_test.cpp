// mivora-probe (the built-in AVI reader over the input modules) on an AVI that ffmpeg makes,
// served over https:// and by a server that ignores Range.
#include <stdio.h>
#include <sys/wait.h>

#include <chrono>
#include <string>

#include "platform/module.h"
#include "tests/modules/input_module_fixture.h"
#include "tests/support/test_http_server.h"

namespace mivora::test {
namespace {

struct CommandRun {
  int status = -1;
  std::string out;  // stdout and stderr
  double seconds = 0;
};

CommandRun Shell(const std::string& command) {
  CommandRun run;
  const auto start = std::chrono::steady_clock::now();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[4096];
  for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.out.append(chunk, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

CommandRun Probe(const std::string& target, const std::string& environment = "") {
  return Shell(environment + " timeout 60 '" + platform::ProgramDirectory() + "/mivora-probe' '" +
               target + "'");
}

class ReaderOverNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const CommandRun made = Shell(
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=176x144:rate=25:"
        "duration=2 -f lavfi -i sine=frequency=300:sample_rate=48000:duration=2 -map 0:v "
        "-map 1:a -c:v mpeg4 -vtag DIVX -bf 0 -g 12 -c:a libmp3lame -b:a 128k '" +
        folder_.File("clip.avi") + "'");
    ASSERT_EQ(made.status, 0) << made.out;
    local_ = Probe(folder_.File("clip.avi"));
    ASSERT_EQ(local_.status, 0) << local_.out;
    ASSERT_EQ(local_.out.find("frameCount=0\n"), std::string::npos) << local_.out;
  }
  TestFolder folder_;
  CommandRun local_;
};

TEST_F(ReaderOverNetworkTest, HttpsGivesWhatTheLocalFileGives) {
  const CommandRun made = Shell(
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
      "subjectAltName=IP:127.0.0.1 -keyout '" +
      folder_.File("key.pem") + "' -out '" + folder_.File("cert.pem") + "'");
  ASSERT_EQ(made.status, 0) << made.out;
  TestHttpServerOptions tls;
  tls.tlsCertificate = folder_.File("cert.pem");
  tls.tlsKey = folder_.File("key.pem");
  TestHttpServer server(folder_.path(), "normal", 300, tls);
  const CommandRun remote =
      Probe(server.Url("clip.avi"), "MIVORA_CA_BUNDLE='" + tls.tlsCertificate + "'");
  EXPECT_EQ(remote.status, 0) << remote.out;
  EXPECT_EQ(remote.out, local_.out);
}

TEST_F(ReaderOverNetworkTest, AServerIgnoringRangeFailsTheOpenWithTheReason) {
  TestHttpServer server(folder_.path(), "no-range");
  const CommandRun remote = Probe(server.Url("clip.avi"));
  EXPECT_EQ(remote.status, 1) << remote.out;
  EXPECT_NE(remote.out.find("the server ignores Range requests"), std::string::npos) << remote.out;
  EXPECT_NE(remote.out.find("Failed to load file"), std::string::npos) << remote.out;
}

}  // namespace
}  // namespace mivora::test
