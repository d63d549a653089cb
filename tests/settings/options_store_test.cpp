// The options file: what goes in comes back, damage gives defaults, saves are all-or-nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "modules/Init/key_names.h"
#include "modules/Init/options_store.h"
#include "tests/settings/temp_folder.h"

namespace mivora::test {
namespace {

using namespace mivora::settings;

// Every field away from its default, keys among them that SDL has no name for.
PlayerOptions Unusual(std::uint32_t seed) {
  std::mt19937 random(seed);
  PlayerOptions o;
  DefaultOptions(o);
  for (std::uint8_t* flag :
       {&o.Rotate, &o.KeepAwake, &o.Audio, &o.DoubleSize, &o.CleanVideo, &o.CacheMode,
        &o.ShowSlider, &o.AutoPlay, &o.Shuffle, &o.ShowDroppedFrames, &o.FullScreen, &o.DirectRead,
        &o.EqualizerOn, &o.OtherMpeg4Video}) {
    *flag = *flag ? 0 : 1;
  }
  o.CacheParam = -77;
  o.DialogOption = std::int32_t(random());
  o.Brightness = INT32_MIN;
  std::int32_t* keys[] = {&o.PauseKey,      &o.StopKey,         &o.FastForwardKey,   &o.NextItemKey,
                          &o.RotateKey,     &o.DoubleSizeKey,   &o.DisplayKey,       &o.VolumeUpKey,
                          &o.VolumeDownKey, &o.BrightnessUpKey, &o.BrightnessDownKey};
  const std::int32_t codes[] = {SDLK_KP_PLUS, SDLK_EQUALS, SDLK_HASH, 0,
                                SDLK_F12,     0x4000012C,  -5,        10,
                                0xE9,         SDLK_LSHIFT, 'A'};
  for (int i = 0; i < 11; ++i) *keys[i] = codes[(i + seed) % 11];
  for (int i = 0; i < kEqualizerBands; ++i)
    o.EqualizerBands[i] = std::int8_t(int(random() % 25) - 12);
  o.EqualizerBands[0] = -12;
  o.EqualizerBands[9] = 12;
  // The three display sizes, explicit ones at their limits and in between.
  const int sizes[][3] = {{0, 0, 0}, {1, 0, 0}, {2, 3840, 2160}, {2, 1, 1}, {2, 641, 479}};
  o.DisplaySize = std::uint8_t(sizes[seed % 5][0]);
  o.DisplayWidth = sizes[seed % 5][1];
  o.DisplayHeight = sizes[seed % 5][2];
  return o;
}

bool Same(const PlayerOptions& a, const PlayerOptions& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(OptionsStore, EveryFieldAndEveryKeyRoundTrips) {
  TempFolder folder;
  const auto path = folder.path() / "deep" / "er" / "options.conf";  // folders made on the way
  for (std::uint32_t seed = 0; seed < 11; ++seed) {
    const PlayerOptions saved = Unusual(seed);
    ASSERT_TRUE(SaveOptionsFile(saved, path));
    PlayerOptions loaded;
    LoadOptionsFile(loaded, path);
    EXPECT_TRUE(Same(saved, loaded)) << FileText(path);
  }
  // Every key the keyboard has, by name, and codes no key has.
  for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
    const std::int32_t code = SDL_GetKeyFromScancode(SDL_Scancode(scancode));
    EXPECT_EQ(KeyFromName(KeyName(code)), code) << KeyName(code);
  }
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    const auto code = std::int32_t(random());
    EXPECT_EQ(KeyFromName(KeyName(code)), code) << KeyName(code);
  }
  EXPECT_EQ(KeyName(SDLK_SPACE), "Space");
  EXPECT_EQ(KeyName(0), "none");
}

TEST(OptionsStore, DamagedFilesGiveDefaultsForWhatCannotBeRead) {
  TempFolder folder;
  const auto path = folder.path() / "options.conf";
  PlayerOptions defaults;
  DefaultOptions(defaults);
  PlayerOptions loaded = Unusual(1);
  LoadOptionsFile(loaded, path);  // missing
  EXPECT_TRUE(Same(loaded, defaults));

  // Cut anywhere, a file gives each field its saved value or its default, never a part of one.
  const PlayerOptions saved = Unusual(3);
  ASSERT_TRUE(SaveOptionsFile(saved, path));
  const std::string whole = FileText(path);
  const auto* s = reinterpret_cast<const std::uint8_t*>(&saved);
  const auto* d = reinterpret_cast<const std::uint8_t*>(&defaults);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    WriteText(path, whole.substr(0, cut));
    LoadOptionsFile(loaded, path);
    const auto* l = reinterpret_cast<const std::uint8_t*>(&loaded);
    // Each byte comes from the saved record or the defaults; a number cut short ("-21" of
    // "-2147483648") gives bytes that are neither. The numbers and keys are checked whole too.
    for (std::size_t i = 0; i < sizeof loaded; ++i) ASSERT_TRUE(l[i] == s[i] || l[i] == d[i]);
    EXPECT_TRUE(loaded.Brightness == saved.Brightness || loaded.Brightness == 0) << cut;
    EXPECT_TRUE(loaded.PauseKey == saved.PauseKey || loaded.PauseKey == defaults.PauseKey);
    EXPECT_TRUE(loaded.DialogOption == saved.DialogOption || loaded.DialogOption == 0);
  }

  // Hand-edited text: unknown, malformed and out-of-range lines are passed over, the rest read.
  WriteText(path,
            "\xEF\xBB\xBF# mine\r\nColour = blue\r\nRotate = 2\r\nShuffle=1\r\n  PauseKey =  p \r\n"
            "StopKey = Nonsense Key\r\nBrightnessUpKey = =\r\nCacheParam = 99999999999\r\n"
            "EqualizerBands = 1 2 3\r\nBrightness = 40\r\nBrightness = 50\r\nno equals sign\r\n"
            "DisplayKey\r\n");
  LoadOptionsFile(loaded, path);
  PlayerOptions expected = defaults;
  expected.Shuffle = 1;
  expected.PauseKey = SDLK_p;
  expected.BrightnessUpKey = SDLK_EQUALS;
  expected.Brightness = 50;  // the last of two lines
  EXPECT_TRUE(Same(loaded, expected)) << loaded.Brightness;

  // A pipe in the file's place: defaults, without waiting for a writer.
  std::filesystem::remove(path);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  LoadOptionsFile(loaded, path);
  EXPECT_TRUE(Same(loaded, defaults));
  EXPECT_FALSE(SaveOptionsFile(saved, folder.path() / "options.conf" / ""));
}

// Saves A and B in turn until killed.
[[noreturn]] void SaveForever(const std::filesystem::path& path) {
  const PlayerOptions a = Unusual(1), b = Unusual(2);
  for (int i = 0;; ++i) SaveOptionsFile(i % 2 ? a : b, path);
}

TEST(OptionsStore, KilledWhileSavingLeavesTheOldOrTheNewFile) {
  TempFolder folder;
  const auto path = folder.path() / "options.conf";
  const std::string a = OptionsText(Unusual(1)), b = OptionsText(Unusual(2));
  ASSERT_TRUE(SaveOptionsFile(Unusual(1), path));
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveForever(path);
    usleep(1000 + random() % 20000);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    const std::string text = FileText(path);
    ASSERT_TRUE(text == a || text == b) << "round " << round << ": " << text.size() << " bytes";
  }
  // Kills leave temporary files; once old, the next save clears them.
  for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
    std::filesystem::last_write_time(
        entry.path(), std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
  ASSERT_TRUE(SaveOptionsFile(Unusual(1), path));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(OptionsStore, AFullDiskLeavesTheOldFileAndNoLeftovers) {
  TempFolder folder;
  const auto path = folder.path() / "options.conf";
  ASSERT_TRUE(SaveOptionsFile(Unusual(1), path));
  const std::string before = FileText(path);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Writes past 100 bytes fail as on a full disk.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SaveOptionsFile(Unusual(2), path) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
  EXPECT_EQ(FileText(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(OptionsStore, ALinkedFileIsReplacedWhereItLives) {
  TempFolder folder;
  const auto real = folder.path() / "dotfiles" / "options.conf";
  const auto link = folder.path() / "options.conf";
  std::filesystem::create_directories(real.parent_path());
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(SaveOptionsFile(Unusual(4), link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(FileText(real), OptionsText(Unusual(4)));
}

}  // namespace
}  // namespace mivora::test
