// The options record every subsystem reads. The settings module loads, saves and edits it, so
// its layout is fixed by offsets.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mivora {

inline constexpr int kEqualizerBands = 10;
// Equalizer bands: ten signed dB gains (-12..+12) for bands centred at 31, 62, 125, 250, 500 Hz
// and 1, 2, 4, 8, 16 kHz, in that order.
inline constexpr int kEqualizerMinDb = -12;
inline constexpr int kEqualizerMaxDb = 12;

struct PlayerOptions {
  std::uint8_t Rotate = 0;       // 0
  std::uint8_t KeepAwake = 1;    // 1
  std::uint8_t Audio = 1;        // 2
  std::uint8_t DoubleSize = 0;   // 3
  std::uint8_t CleanVideo = 0;   // 4
  std::uint8_t CacheMode = 0;    // 5
  std::uint8_t ShowSlider = 1;   // 6
  std::uint8_t AutoPlay = 1;     // 7
  std::uint8_t Shuffle = 0;      // 8
  std::uint8_t unused9[3] = {};  // 9..11
  std::int32_t CacheParam = 0;   // 12: KiB of the cached input module; 0 = its default
  std::int32_t PauseKey = 0;     // 16
  std::int32_t FastForwardKey = 0;
  std::int32_t RotateKey = 0;
  std::int32_t DoubleSizeKey = 0;
  std::int32_t DisplayKey = 0;  // 32
  std::int32_t VolumeUpKey = 0;
  std::int32_t VolumeDownKey = 0;
  std::int32_t BrightnessUpKey = 0;
  std::int32_t BrightnessDownKey = 0;  // 48
  std::int32_t NextItemKey = 0;
  std::int32_t DialogOption = 0;       // 56
  std::int32_t StopKey = 0;            // 60
  std::uint8_t ShowDroppedFrames = 0;  // 64
  std::uint8_t unused65[3] = {};
  std::int32_t Brightness = 0;                       // 68
  std::uint8_t FullScreen = 0;                       // 72
  std::uint8_t DirectRead = 0;                       // 73
  std::uint8_t EqualizerOn = 0;                      // 74
  std::int8_t EqualizerBands[kEqualizerBands] = {};  // 75..84
  // Decoders of MPEG-4 Visual video tagged other than DIVX/divx ("XVID", "DX50", "FMP4", ...):
  // 0 refuses them as the handheld's player did, 1 plays them through the built-in decoder.
  std::uint8_t OtherMpeg4Video = 0;  // 85
  // DisplaySizeMode: 0 the handheld's 640 x 240, 1 fit to the picture, 2 DisplayWidth x
  // DisplayHeight.
  std::uint8_t DisplaySize = 0;    // 86
  std::uint8_t unused87 = 0;       // 87
  std::int32_t DisplayWidth = 0;   // 88
  std::int32_t DisplayHeight = 0;  // 92: the record ends at 96
};

static_assert(offsetof(PlayerOptions, Rotate) == 0);
static_assert(offsetof(PlayerOptions, KeepAwake) == 1);
static_assert(offsetof(PlayerOptions, Audio) == 2);
static_assert(offsetof(PlayerOptions, DoubleSize) == 3);
static_assert(offsetof(PlayerOptions, CleanVideo) == 4);
static_assert(offsetof(PlayerOptions, CacheMode) == 5);
static_assert(offsetof(PlayerOptions, ShowSlider) == 6);
static_assert(offsetof(PlayerOptions, AutoPlay) == 7);
static_assert(offsetof(PlayerOptions, Shuffle) == 8);
static_assert(offsetof(PlayerOptions, CacheParam) == 12);
static_assert(offsetof(PlayerOptions, PauseKey) == 16);
static_assert(offsetof(PlayerOptions, FastForwardKey) == 20);
static_assert(offsetof(PlayerOptions, RotateKey) == 24);
static_assert(offsetof(PlayerOptions, DoubleSizeKey) == 28);
static_assert(offsetof(PlayerOptions, DisplayKey) == 32);
static_assert(offsetof(PlayerOptions, VolumeUpKey) == 36);
static_assert(offsetof(PlayerOptions, VolumeDownKey) == 40);
static_assert(offsetof(PlayerOptions, BrightnessUpKey) == 44);
static_assert(offsetof(PlayerOptions, BrightnessDownKey) == 48);
static_assert(offsetof(PlayerOptions, NextItemKey) == 52);
static_assert(offsetof(PlayerOptions, DialogOption) == 56);
static_assert(offsetof(PlayerOptions, StopKey) == 60);
static_assert(offsetof(PlayerOptions, ShowDroppedFrames) == 64);
static_assert(offsetof(PlayerOptions, Brightness) == 68);
static_assert(offsetof(PlayerOptions, FullScreen) == 72);
static_assert(offsetof(PlayerOptions, DirectRead) == 73);
static_assert(offsetof(PlayerOptions, EqualizerOn) == 74);
static_assert(offsetof(PlayerOptions, EqualizerBands) == 75);
static_assert(offsetof(PlayerOptions, OtherMpeg4Video) == 85);
static_assert(offsetof(PlayerOptions, DisplaySize) == 86);
static_assert(offsetof(PlayerOptions, DisplayWidth) == 88);
static_assert(offsetof(PlayerOptions, DisplayHeight) == 92);
static_assert(sizeof(PlayerOptions) == 96);

// The process's one record.
PlayerOptions& Options();

// The engine's threads read options that the user-interface thread changes; every access from
// code that may run beside another thread goes through these.
template <typename T>
T ReadOption(T& field) {
  return std::atomic_ref<T>(field).load(std::memory_order_relaxed);
}
template <typename T>
void WriteOption(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

}  // namespace mivora
