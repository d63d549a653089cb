// Addresses, redirect targets and response heads.
#include <gtest/gtest.h>

#include "modules/InputMediaCommon/http_connection.h"
#include "modules/InputMediaCommon/http_url.h"

namespace mivora::io {
namespace {

TEST(HttpUrlTest, ParsesAddressesAndRefusesBadOnes) {
  auto url = ParseHttpUrl("HTTP://Example.org:8080/a b/c.avi?x=1#frag");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host, "Example.org");
  EXPECT_EQ(url->port, "8080");
  EXPECT_EQ(url->target, "/a%20b/c.avi?x=1");
  EXPECT_EQ(url->HostHeader(), "Example.org:8080");

  url = ParseHttpUrl("http://host");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->target, "/");
  EXPECT_EQ(url->HostHeader(), "host");
  url = ParseHttpUrl("http://host?q");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->target, "/?q");
  url = ParseHttpUrl("http://[::1]:81/v\xC3\xA9.avi");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->host, "::1");
  EXPECT_EQ(url->target, "/v%C3%A9.avi");
  EXPECT_EQ(url->HostHeader(), "[::1]:81");

  for (const char* bad : {"https://host/", "ftp://host/", "http://", "http:///path", "http://:80/",
                          "http://host:0/", "http://host:65536/", "http://host:8x/",
                          "http://user@host/", "http://[::1/", "http://[::1]x/", "/local/file"}) {
    EXPECT_FALSE(ParseHttpUrl(bad)) << bad;
  }
}

TEST(HttpUrlTest, ResolvesRedirectTargets) {
  const HttpUrl base = *ParseHttpUrl("http://a.org:81/dir/sub/file.avi?q=1");
  auto to = [&](const char* location) {
    auto url = ResolveLocation(base, location);
    return url ? url->host + ":" + url->port + url->target : std::string("none");
  };
  EXPECT_EQ(to("http://b.org/x"), "b.org:80/x");
  EXPECT_EQ(to("//c.org:90/y"), "c.org:90/y");
  EXPECT_EQ(to("/top.avi"), "a.org:81/top.avi");
  EXPECT_EQ(to("other.avi"), "a.org:81/dir/sub/other.avi");
  EXPECT_EQ(to("  next dir/v.avi#f"), "a.org:81/dir/sub/next%20dir/v.avi");
  EXPECT_EQ(to("https://secure/"), "none");
  EXPECT_EQ(to("mailto:x"), "none");
  EXPECT_EQ(to(""), "none");
}

TEST(HttpResponseHeadTest, ReadsStatusLengthRangeAndConnection) {
  HttpResponseHead head;
  ASSERT_TRUE(ParseResponseHead(
      "HTTP/1.1 206 Partial Content\r\ncontent-length:  100\r\nCONTENT-RANGE: bytes "
      "200-299/5000\r\nLocation: /x\r\nConnection: close",
      &head));
  EXPECT_EQ(head.status, 206);
  EXPECT_EQ(head.content_length, 100);
  EXPECT_EQ(head.range_first, 200);
  EXPECT_EQ(head.range_last, 299);
  EXPECT_EQ(head.range_total, 5000);
  EXPECT_EQ(head.location, "/x");
  EXPECT_FALSE(head.keep_alive);
  EXPECT_FALSE(head.chunked);

  ASSERT_TRUE(ParseResponseHead("HTTP/1.0 416 No\nContent-Range: bytes */0\n", &head));
  EXPECT_EQ(head.status, 416);
  EXPECT_EQ(head.range_first, -1);
  EXPECT_EQ(head.range_total, 0);
  EXPECT_FALSE(head.keep_alive);  // HTTP/1.0 without keep-alive

  ASSERT_TRUE(ParseResponseHead(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: -5\r\nContent-Range: "
      "bytes 9-3/*\r\nno colon line",
      &head));
  EXPECT_TRUE(head.chunked);
  EXPECT_EQ(head.content_length, -1);
  EXPECT_EQ(head.range_first, -1);
  EXPECT_EQ(head.range_total, -1);
  EXPECT_TRUE(head.keep_alive);

  ASSERT_TRUE(ParseResponseHead("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999", &head));
  EXPECT_EQ(head.content_length, -1);  // too large to be a length

  for (const char* bad : {"", "HTTP/2 200 OK", "ICY 200 OK", "HTTP/1.1 20", "HTTP/1.1 abc x",
                          "HTTP/1.1  200 OK", "HTTP/1.1 099 x"}) {
    EXPECT_FALSE(ParseResponseHead(bad, &head)) << bad;
  }
}

}  // namespace
}  // namespace mivora::io
