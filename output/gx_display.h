// The display access interface the program exports under its published names, signatures and
// record layouts (32-bit DWORD/LONG/BOOL). The records and functions stay in the global namespace
// so their decorated names are the usual ones; the device table behind them is mivora's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__GNUC__)
#define MIVORA_GX_EXPORT __attribute__((visibility("default")))
#else
#define MIVORA_GX_EXPORT
#endif

struct GXDisplayProperties {
  std::uint32_t cxWidth;   // pixels per row
  std::uint32_t cyHeight;  // rows
  std::int32_t cbxPitch;   // bytes from one pixel to the next in a row
  std::int32_t cbyPitch;   // bytes from one row to the next
  std::int32_t cBPP;       // bits per pixel
  std::uint32_t ffFormat;  // kfLandscape | kfPalette | kfDirect | kfDirect565
};
static_assert(offsetof(GXDisplayProperties, cxWidth) == 0);
static_assert(offsetof(GXDisplayProperties, cyHeight) == 4);
static_assert(offsetof(GXDisplayProperties, cbxPitch) == 8);
static_assert(offsetof(GXDisplayProperties, cbyPitch) == 12);
static_assert(offsetof(GXDisplayProperties, cBPP) == 16);
static_assert(offsetof(GXDisplayProperties, ffFormat) == 20);
static_assert(sizeof(GXDisplayProperties) == 24);

inline constexpr std::uint32_t kfLandscape = 0x08;
inline constexpr std::uint32_t kfPalette = 0x10;
inline constexpr std::uint32_t kfDirect = 0x20;
inline constexpr std::uint32_t kfDirect565 = 0x80;

struct GXPoint {
  std::int32_t x;
  std::int32_t y;
};

// Each entry: a 16-bit virtual key code, then the key's position, aligned to 32 bits.
struct GXKeyList {
  std::int16_t vkUp;
  GXPoint ptUp;
  std::int16_t vkDown;
  GXPoint ptDown;
  std::int16_t vkLeft;
  GXPoint ptLeft;
  std::int16_t vkRight;
  GXPoint ptRight;
  std::int16_t vkA;
  GXPoint ptA;
  std::int16_t vkB;
  GXPoint ptB;
  std::int16_t vkC;
  GXPoint ptC;
  std::int16_t vkStart;
  GXPoint ptStart;
};
static_assert(offsetof(GXKeyList, ptUp) == 4);
static_assert(offsetof(GXKeyList, vkDown) == 12);
static_assert(offsetof(GXKeyList, vkStart) == 84);
static_assert(offsetof(GXKeyList, ptStart) == 88);
static_assert(sizeof(GXKeyList) == 96);

MIVORA_GX_EXPORT int GXOpenDisplay(void* window, std::uint32_t flags);
MIVORA_GX_EXPORT int GXCloseDisplay();
// The display memory when the device is in the table, otherwise null.
MIVORA_GX_EXPORT void* GXBeginDraw();
MIVORA_GX_EXPORT int GXEndDraw();
MIVORA_GX_EXPORT int GXOpenInput();
MIVORA_GX_EXPORT int GXCloseInput();
MIVORA_GX_EXPORT GXDisplayProperties GXGetDisplayProperties();
MIVORA_GX_EXPORT GXKeyList GXGetDefaultKeys(int options);
MIVORA_GX_EXPORT int GXSuspend();
MIVORA_GX_EXPORT int GXResume();
MIVORA_GX_EXPORT int GXSetViewport(std::uint32_t top, std::uint32_t height, std::uint32_t reserved1,
                                   std::uint32_t reserved2);
MIVORA_GX_EXPORT int GXIsDisplayDRAMBuffer();

namespace mivora {

// One known device: its identifying string and where its display memory lies.
struct DisplayDevice {
  char16_t name[64];
  std::uint32_t probeStart16;
  std::uint32_t probeStartOther;
  std::uint32_t address16;
  std::uint32_t addressOther;
  std::uint32_t probeStep;
  std::uint32_t rowPitch;  // pixels
  std::uint32_t landscape;
};

inline constexpr int kDisplayDeviceCount = 6;
extern const DisplayDevice kDisplayDevices[kDisplayDeviceCount];

// The table row whose identifying string equals name exactly (case and punctuation count), or -1.
int MatchDevice(std::u16string_view name);
// The row of this device: the OEM information string, or when that is empty the registry value
// Platform\Name; -1 when neither names a known device.
int IdentifyDevice();
// The device's display address for the screen's depth as its table gives it; 0 when unknown.
// (Meaningless on this machine, so GXBeginDraw hands out the display buffer instead.)
std::uint32_t DeviceDisplayAddress();

}  // namespace mivora
