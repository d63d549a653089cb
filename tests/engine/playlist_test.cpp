// Playlist text and the choice of the next item.
#include <gtest/gtest.h>

#include <set>

#include "engine/player_state.h"
#include "shell/player_options.h"
#include "shell/playlist.h"

namespace mivora::test {
namespace {

TEST(Playlist, LinesLimitsAndOrder) {
  ClearPlaylist();
  Options() = PlayerOptions{};
  const std::u16string longLine(kPathChars, u'x');
  const std::u16string text = u"a.avi\r\nhttp://h/b.avi\r\n" + longLine + u"\r\nc.avi\r\nlast";
  ReadPlaylist(text.data(), text.size());
  // The line too long for an entry is left out; the last line without its return too.
  ASSERT_EQ(ThePlaylist().playlistCount, 3);
  ChooseFirstItem();
  EXPECT_EQ(CurrentPath(), u"a.avi");
  EXPECT_EQ(State().isStream.load(), 0);
  NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"http://h/b.avi");
  EXPECT_EQ(State().isStream.load(), 1);
  EXPECT_EQ(State().autoStart.load(), 1);
  NextPlaylistItem();
  NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"a.avi");  // 0, 1, 2, then 0 again

  // No more than 100 entries are kept.
  std::u16string many;
  for (int i = 0; i < 150; ++i) many += u"f.avi\r\n";
  ReadPlaylist(many.data(), many.size());
  EXPECT_EQ(ThePlaylist().playlistCount, kPlaylistEntries);
}

TEST(Playlist, HttpAndHttpsAddressesAreStreams) {
  EXPECT_TRUE(IsStreamPath(u"http://h/a.avi"));
  EXPECT_TRUE(IsStreamPath(u"https://h/a.avi"));
  EXPECT_FALSE(IsStreamPath(u"https:/h/a.avi"));
  EXPECT_FALSE(IsStreamPath(u"/media/https://a.avi"));
}

TEST(Playlist, ShuffleNeverRepeatsAndEndsWithOneEntry) {
  ClearPlaylist();
  Options() = PlayerOptions{};
  Options().Shuffle = 1;
  const std::u16string text = u"0\r\n1\r\n2\r\n";
  ReadPlaylist(text.data(), text.size());
  ChooseFirstItem();
  std::set<std::u16string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::u16string before = CurrentPath();
    NextPlaylistItem();
    EXPECT_NE(CurrentPath(), before);
    seen.insert(CurrentPath());
  }
  EXPECT_EQ(seen.size(), 3u);

  ClearPlaylist();
  const std::u16string one = u"only\r\n";
  ReadPlaylist(one.data(), one.size());
  ChooseFirstItem();
  NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"only");
  Options().Shuffle = 0;
}

}  // namespace
}  // namespace mivora::test
