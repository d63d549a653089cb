// Wave output as the handheld's wave API offers it: a device opened for one 16-bit PCM format with
// a completion function, blocks prepared and written in order, each handed back through the
// completion function on the device's own thread once it has been played. Reset hands back every
// queued block the same way; pause stops the device's clock where it is.
//
// Backends, chosen at run time (SelectWaveBackend):
//   "sdl"       SDL2 audio; the volume is applied as a gain
//   "null"      no sound, paced at the format's real rate by the platform clock, with a device
//               latency like a real card's
//   "wav:PATH"  what would be heard, written to a WAV file, paced like "null"
//   "auto"      (default) "sdl" when an output device opens, else "null" with one line saying so
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace mivora::platform {

inline constexpr std::uint32_t kWaveNoError = 0;
inline constexpr std::uint32_t kWaveError = 1;        // unspecified failure
inline constexpr std::uint32_t kWaveBadDeviceId = 2;  // no such device / refused
inline constexpr std::uint32_t kWaveInvalidHandle = 5;
inline constexpr std::uint32_t kWaveBadFormat = 32;     // the device cannot play the format
inline constexpr std::uint32_t kWaveStillPlaying = 33;  // close with blocks queued
inline constexpr std::uint32_t kWaveUnprepared = 34;    // write of an unprepared block

inline constexpr std::uint32_t kWaveOpenMessage = 955;   // WOM_OPEN
inline constexpr std::uint32_t kWaveCloseMessage = 956;  // WOM_CLOSE
inline constexpr std::uint32_t kWaveDoneMessage = 957;   // WOM_DONE

inline constexpr std::uint32_t kWaveMapper = 0xFFFFFFFFu;  // any device that plays the format
inline constexpr std::uint32_t kWaveCallbackFunction = 0x30000u;
inline constexpr std::uint32_t kWaveAllowMapped = 0x0004u;

// Header flags.
inline constexpr std::uint32_t kWaveHeaderDone = 0x01;
inline constexpr std::uint32_t kWaveHeaderPrepared = 0x02;
inline constexpr std::uint32_t kWaveHeaderInQueue = 0x10;

#pragma pack(push, 2)
struct WaveFormat {
  std::uint16_t formatTag = 1;  // 1 = PCM
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSecond = 0;
  std::uint32_t averageBytesPerSecond = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 16;
  std::uint16_t extraSize = 0;
};
#pragma pack(pop)
static_assert(offsetof(WaveFormat, channels) == 2);
static_assert(offsetof(WaveFormat, samplesPerSecond) == 4);
static_assert(offsetof(WaveFormat, averageBytesPerSecond) == 8);
static_assert(offsetof(WaveFormat, blockAlign) == 12);
static_assert(offsetof(WaveFormat, bitsPerSample) == 14);
static_assert(offsetof(WaveFormat, extraSize) == 16);
static_assert(sizeof(WaveFormat) == 18);

// Eight words; those that hold addresses or the user value are pointer-sized.
struct WaveHeader {
  std::uint8_t* data = nullptr;     // 0
  std::uint32_t bufferLength = 0;   // 1
  std::uint32_t bytesRecorded = 0;  // 2
  std::uintptr_t user = 0;          // 3
  std::uint32_t flags = 0;          // 4
  std::uint32_t loops = 0;          // 5
  WaveHeader* next = nullptr;       // 6: the device's
  std::uintptr_t reserved = 0;      // 7: the device's
};
static_assert(offsetof(WaveHeader, data) == 0);
static_assert(offsetof(WaveHeader, bufferLength) == sizeof(void*));
static_assert(offsetof(WaveHeader, bytesRecorded) == sizeof(void*) + 4);
static_assert(offsetof(WaveHeader, user) == sizeof(void*) + 8);

struct WaveDevice;
using WaveOutHandle = WaveDevice*;

// Runs on the device's own thread: once per played (or reset) block with kWaveDoneMessage and the
// header; kWaveOpenMessage / kWaveCloseMessage with a null header.
using WaveCallback = void (*)(WaveOutHandle device, std::uint32_t message, std::uintptr_t instance,
                              WaveHeader* header, std::uintptr_t parameter);

// Opens device deviceId (kWaveMapper: any) for format. flags: kWaveCallbackFunction (callback is
// called), kWaveAllowMapped. Returns kWaveNoError and sets *device, or an error code (*device
// stays null).
std::uint32_t WaveOutOpen(WaveOutHandle* device, std::uint32_t deviceId, const WaveFormat& format,
                          WaveCallback callback, std::uintptr_t instance, std::uint32_t flags);
std::uint32_t WaveOutPrepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size);
std::uint32_t WaveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size);
// Queues a prepared block behind the others.
std::uint32_t WaveOutWrite(WaveOutHandle device, WaveHeader* header, std::uint32_t size);
std::uint32_t WaveOutPause(WaveOutHandle device);
std::uint32_t WaveOutRestart(WaveOutHandle device);
// Stops playback, hands back every queued block (kWaveDoneMessage), position back to 0; a paused
// device stays paused.
std::uint32_t WaveOutReset(WaveOutHandle device);
// kWaveStillPlaying while blocks are queued; the handle is invalid after a successful close.
std::uint32_t WaveOutClose(WaveOutHandle device);
// Low 16 bits left, high 16 bits right, 0xFFFF = full. A null device means device 0 (the default
// output), whose volume is kept across opens.
std::uint32_t WaveOutGetVolume(WaveOutHandle device, std::uint32_t* volume);
std::uint32_t WaveOutSetVolume(WaveOutHandle device, std::uint32_t volume);
// Sample frames (one sample per channel) really played since the open or the last reset.
std::uint32_t WaveOutGetPositionSamples(WaveOutHandle device, std::uint64_t* samples);

// Chooses the backend for the following opens: "auto", "sdl", "null", "wav:PATH". False for an
// unknown name (the choice stays).
bool SelectWaveBackend(std::string_view choice);
// The backend the last successful open used ("sdl", "null", "wav"), empty before any open.
std::string ActiveWaveBackend();

// Test hooks. refuse(format) true makes the open fail with kWaveBadFormat; an empty function
// accepts every format. RefuseAllWaveOpens makes every open fail with kWaveBadDeviceId.
void SetWaveFormatFilter(std::function<bool(const WaveFormat&)> refuse);
void RefuseAllWaveOpens(bool refuse);

// Totals over the process (every device): blocks handed back after being played to their end,
// and sample frames played. Reset blocks do not count.
struct WaveTotals {
  std::uint64_t blocksPlayed = 0;
  std::uint64_t samplesPlayed = 0;
  std::uint64_t blocksReset = 0;
};
WaveTotals GetWaveTotals();

}  // namespace mivora::platform
