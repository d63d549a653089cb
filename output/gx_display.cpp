#include "output/gx_display.h"

#include "platform/device_info.h"
#include "platform/display_memory.h"
#include "platform/presentation.h"

namespace mivora {

const DisplayDevice kDisplayDevices[kDisplayDeviceCount] = {
    {u"PV-6000 Series", 0x86150000, 0x86150000, 0x06150000, 0x06150000, 0x800000, 640, 0},
    {u"HP, Jornada 720,, 9546, USEnglish, SAA", 0x761B0000, 0x761B0000, 0x061B0000, 0x061B0000,
     0x800000, 640, 0},
    {u"NEC MobilePro Series", 0x83880100, 0x838D4C00, 0x43880100, 0x438D4C00, 0x800000, 640, 0},
    {u"HP,Jornada 680,,8262,USEnglish,SH3", 0x86130000, 0x86130000, 0x06130000, 0x06130000,
     0x800000, 640, 0},
    {u"HC-VJ series", 0x83400000, 0x83400000, 0x43400000, 0x43400000, 0x800000, 800, 0},
    {u"Intermec-Raptor", 0xB0300000, 0xB0300000, 0xB0200000, 0xB0200000, 0x80000, 88, 0},
};

int MatchDevice(std::u16string_view name) {
  for (int row = 0; row < kDisplayDeviceCount; ++row) {
    if (name == std::u16string_view(kDisplayDevices[row].name)) return row;
  }
  return -1;
}

int IdentifyDevice() {
  std::u16string name = platform::OemInformation();
  if (name.empty()) name = platform::PlatformName().value_or(std::u16string());
  // The system hands back a terminated string: whatever follows a NUL is not part of the name.
  const std::size_t end = name.find(u'\0');
  if (end != std::u16string::npos) name.resize(end);
  return MatchDevice(name);
}

std::uint32_t DeviceDisplayAddress() {
  const int row = IdentifyDevice();
  if (row < 0) return 0;
  const DisplayDevice& device = kDisplayDevices[row];
  return platform::ScreenBitsPerPixel() == 16 ? device.address16 : device.addressOther;
}

}  // namespace mivora

int GXOpenDisplay(void* /*window*/, std::uint32_t /*flags*/) {
  return 0;
}
int GXCloseDisplay() {
  return 0;
}

// The table's addresses mean nothing on this machine; a known device gets the display buffer the
// converters write into, an unknown one null, as on the handheld. Probing the candidate addresses
// is left out: it never changed the result.
void* GXBeginDraw() {
  if (mivora::IdentifyDevice() < 0) return nullptr;
  return mivora::platform::DisplayMemory();
}

int GXEndDraw() {
  mivora::platform::PresentDisplay();
  return 0;
}
int GXOpenInput() {
  return 0;
}
int GXCloseInput() {
  return 0;
}

GXDisplayProperties GXGetDisplayProperties() {
  namespace platform = mivora::platform;
  const int depth = platform::ScreenBitsPerPixel();
  const int row = mivora::IdentifyDevice();
  const platform::DisplayGeometry display = platform::CurrentDisplayGeometry();
  // On the handheld's geometry a device of the table is described by its row. A device outside
  // the table has no row pitch or landscape flag to take, and a desktop geometry is not the
  // device's screen: both are described as the display memory is laid out, pitch and all.
  const bool deviceRow = row >= 0 && display == platform::kHandheldGeometry;
  const std::uint32_t rowPitch =
      deviceRow ? mivora::kDisplayDevices[row].rowPitch : static_cast<std::uint32_t>(display.pitch);
  const bool landscape = deviceRow && mivora::kDisplayDevices[row].landscape != 0;

  GXDisplayProperties properties;
  properties.cxWidth = static_cast<std::uint32_t>(display.width);
  properties.cyHeight = static_cast<std::uint32_t>(display.height);
  properties.cbxPitch = depth / 8;
  properties.cbyPitch = properties.cbxPitch * static_cast<std::int32_t>(rowPitch);
  properties.cBPP = depth;
  if (depth == 16) {
    properties.ffFormat = kfDirect | kfDirect565;
  } else {
    properties.ffFormat = row == 0 ? kfDirect : kfPalette;
  }
  if (landscape) properties.ffFormat |= kfLandscape;
  return properties;
}

GXKeyList GXGetDefaultKeys(int /*options*/) {
  GXKeyList keys{};
  keys.vkUp = 38;     // up arrow
  keys.vkDown = 40;   // down arrow
  keys.vkLeft = 37;   // left arrow
  keys.vkRight = 39;  // right arrow
  keys.vkA = 'A';
  keys.vkB = 'B';
  keys.vkC = 'C';
  keys.vkStart = 13;  // Enter
  return keys;
}

int GXSuspend() {
  return 0;
}
int GXResume() {
  return 0;
}
int GXSetViewport(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  return 0;
}
int GXIsDisplayDRAMBuffer() {
  return 0;
}
