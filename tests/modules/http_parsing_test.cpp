// What the network source parses and decides by itself: addresses, Content-Range, the progress
// watch that ends stalled and trickling transfers.
#include <gtest/gtest.h>

#include "modules/InputMediaCommon/content_range.h"
#include "modules/InputMediaCommon/network_address.h"
#include "modules/InputMediaCommon/progress_watch.h"

namespace mivora::io {
namespace {

TEST(NetworkAddressTest, HttpAndHttpsInAnyCaseAreNetworkAddressesAndGetEncoded) {
  for (const char* yes : {"http://h/a.avi", "HTTPS://h/", "Http://[::1]:8080/x", "https://"}) {
    EXPECT_TRUE(IsNetworkAddress(yes)) << yes;
  }
  for (const char* no : {"/local/http://x", "ftp://h/", "http:/h", "https:", "file:///a", ""}) {
    EXPECT_FALSE(IsNetworkAddress(no)) << no;
  }
  EXPECT_EQ(EncodeAddress("http://[::1]:81/a b/v\xC3\xA9.avi?x=1&y=%20"),
            "http://[::1]:81/a%20b/v%C3%A9.avi?x=1&y=%20");
  EXPECT_EQ(EncodeAddress("http://h/\t\"<|>\x7F"), "http://h/%09%22%3C%7C%3E%7F");
}

TEST(ContentRangeTest, ReadsTheThreeFormsAndRefusesTheRest) {
  auto r = ParseContentRange(" bytes 200-299/5000\r\n");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->first, 200);
  EXPECT_EQ(r->last, 299);
  EXPECT_EQ(r->total, 5000);
  r = ParseContentRange("bytes */0");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->first, -1);
  EXPECT_EQ(r->total, 0);
  r = ParseContentRange("bytes 0-0/*");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->last, 0);
  EXPECT_EQ(r->total, -1);
  for (const char* bad : {"", "bytes", "bytes 9-3/100", "bytes 0-100/100", "bytes */*",
                          "items 0-1/2", "bytes 0-1", "bytes -1-5/10", "bytes 1-/10",
                          "bytes 0-1/1x", "bytes 0-99999999999999999999/*", "bytes 0-1/ 5"}) {
    EXPECT_FALSE(ParseContentRange(bad)) << bad;
  }
}

TEST(ProgressWatchTest, StallsAndTricklesExpireSteadyFlowDoesNot) {
  ProgressWatch watch;
  // Silence: expires after kStallMs, not before.
  watch.Restart(1000);
  EXPECT_FALSE(watch.Expired(1000 + kStallMs - 1));
  EXPECT_TRUE(watch.Expired(1000 + kStallMs));

  // One byte every 200 ms never stalls, but the first whole window ends it.
  watch.Restart(0);
  std::int64_t t = 0;
  for (; t < kWindowMs; t += 200) {
    EXPECT_FALSE(watch.Expired(t)) << t;
    watch.Arrived(t, 1);
  }
  EXPECT_TRUE(watch.Expired(t));

  // 8 KiB every second passes window after window.
  watch.Restart(0);
  for (t = 0; t <= 5 * kWindowMs; t += 1000) {
    ASSERT_FALSE(watch.Expired(t)) << t;
    watch.Arrived(t, 8192);
  }
  // A late head keeps the stall rule quiet, but a window without body bytes still ends.
  watch.Restart(0);
  watch.Arrived(kWindowMs - 1, 0);
  EXPECT_TRUE(watch.Expired(kWindowMs));
  // Time away from waiting (a paused player) is not held against the next wait.
  watch.Restart(100000);
  EXPECT_FALSE(watch.Expired(100001));
}

}  // namespace
}  // namespace mivora::io
