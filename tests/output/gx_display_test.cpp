// The display access functions as code elsewhere in the process sees them: published record
// layouts, device identification through the platform's stand-ins, and the fixed answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "output/gx_display.h"
#include "platform/display_memory.h"

namespace mivora {
namespace {

// Sets the device stand-ins for one test and clears them afterwards.
class Device {
 public:
  Device(const char* oem, const char* platformName, const char* depth = "16") {
    Set("MIVORA_OEM_INFO", oem);
    Set("MIVORA_PLATFORM_NAME", platformName);
    Set("MIVORA_SCREEN_DEPTH", depth);
  }
  ~Device() {
    unsetenv("MIVORA_OEM_INFO");
    unsetenv("MIVORA_PLATFORM_NAME");
    unsetenv("MIVORA_SCREEN_DEPTH");
  }

 private:
  static void Set(const char* name, const char* value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
};

TEST(GXDisplay, IdentifiesDevicesByExactString) {
  {
    const Device nec("", "NEC MobilePro Series");
    EXPECT_EQ(IdentifyDevice(), 2);
    EXPECT_EQ(DeviceDisplayAddress(), 0x43880100u);
  }
  {
    const Device nec(nullptr, "NEC MobilePro Series", "8");
    EXPECT_EQ(DeviceDisplayAddress(), 0x438D4C00u);
  }
  {
    const Device jornada("HP,Jornada 680,,8262,USEnglish,SH3", nullptr);
    EXPECT_EQ(IdentifyDevice(), 3);
    EXPECT_NE(GXBeginDraw(), nullptr);
  }
  {
    const Device spaced("HP, Jornada 680,,8262,USEnglish,SH3", nullptr);
    EXPECT_EQ(IdentifyDevice(), -1);
    EXPECT_EQ(GXBeginDraw(), nullptr);
    EXPECT_EQ(DeviceDisplayAddress(), 0u);
  }
  {
    const Device lower("pv-6000 series", nullptr);
    EXPECT_EQ(IdentifyDevice(), -1);
  }
  {
    // The OEM string, once set, decides alone: the registry is read only when it is empty.
    const Device both("Intermec-Raptor", "NEC MobilePro Series");
    EXPECT_EQ(IdentifyDevice(), 5);
    const Device unknownOem("Some Other Device", "NEC MobilePro Series");
    EXPECT_EQ(IdentifyDevice(), -1);
  }
  {
    // A registry value longer than the 256-byte read fails to read.
    const std::string longName(200, 'x');
    const Device tooLong(nullptr, longName.c_str());
    EXPECT_EQ(IdentifyDevice(), -1);
  }
  const Device none(nullptr, nullptr);
  EXPECT_EQ(IdentifyDevice(), -1);
}

TEST(GXDisplay, BeginDrawHandsOutTheDisplayBuffer) {
  const Device device("HP, Jornada 720,, 9546, USEnglish, SAA", nullptr);
  EXPECT_EQ(GXBeginDraw(), platform::DisplayMemory());
  EXPECT_EQ(GXEndDraw(), 0);
}

TEST(GXDisplay, PropertiesFollowTheDeviceRowAndDepth) {
  {
    const Device jornada720("HP, Jornada 720,, 9546, USEnglish, SAA", nullptr);
    const GXDisplayProperties p = GXGetDisplayProperties();
    EXPECT_EQ(p.cxWidth, 640u);
    EXPECT_EQ(p.cyHeight, 240u);
    EXPECT_EQ(p.cbxPitch, 2);
    EXPECT_EQ(p.cbyPitch, 1280);
    EXPECT_EQ(p.cBPP, 16);
    EXPECT_EQ(p.ffFormat, 0xA0u);
  }
  {
    const Device pv("PV-6000 Series", nullptr, "8");
    const GXDisplayProperties p = GXGetDisplayProperties();
    EXPECT_EQ(p.ffFormat, 0x20u);
    EXPECT_EQ(p.cbxPitch, 1);
    EXPECT_EQ(p.cbyPitch, 640);
  }
  {
    const Device hc("HC-VJ series", nullptr, "8");
    const GXDisplayProperties p = GXGetDisplayProperties();
    EXPECT_EQ(p.ffFormat, 0x10u);
    EXPECT_EQ(p.cbyPitch, 800);
  }
  {
    const Device raptor("Intermec-Raptor", nullptr, "4");
    const GXDisplayProperties p = GXGetDisplayProperties();
    EXPECT_EQ(p.cbxPitch, 0);
    EXPECT_EQ(p.cbyPitch, 0);
    EXPECT_EQ(p.cBPP, 4);
  }
  {
    // Outside the table: rows as long as the screen is wide, flags by depth alone.
    const Device unknown("Desktop", nullptr);
    GXDisplayProperties p = GXGetDisplayProperties();
    EXPECT_EQ(p.cbyPitch, 1280);
    EXPECT_EQ(p.ffFormat, 0xA0u);
    setenv("MIVORA_SCREEN_DEPTH", "8", 1);
    p = GXGetDisplayProperties();
    EXPECT_EQ(p.cbyPitch, 640);
    EXPECT_EQ(p.ffFormat, 0x10u);
  }
}

TEST(GXDisplay, PropertiesDescribeADesktopGeometryInForce) {
  const Device jornada720("HP, Jornada 720,, 9546, USEnglish, SAA", nullptr);
  ASSERT_TRUE(platform::SetDisplayGeometry({1001, 601, 1024}));
  const GXDisplayProperties p = GXGetDisplayProperties();
  platform::SetDisplayGeometry(platform::kHandheldGeometry);
  EXPECT_EQ(p.cxWidth, 1001u);
  EXPECT_EQ(p.cyHeight, 601u);
  EXPECT_EQ(p.cbxPitch, 2);
  EXPECT_EQ(p.cbyPitch, 2048);
  EXPECT_EQ(p.ffFormat, 0xA0u);
  EXPECT_EQ(GXGetDisplayProperties().cbyPitch, 1280);
}

TEST(GXDisplay, DefaultKeysIgnoreTheOption) {
  const GXKeyList keys = GXGetDefaultKeys(2);
  EXPECT_EQ(keys.vkUp, 38);
  EXPECT_EQ(keys.vkDown, 40);
  EXPECT_EQ(keys.vkLeft, 37);
  EXPECT_EQ(keys.vkRight, 39);
  EXPECT_EQ(keys.vkA, 65);
  EXPECT_EQ(keys.vkB, 66);
  EXPECT_EQ(keys.vkC, 67);
  EXPECT_EQ(keys.vkStart, 13);
  EXPECT_EQ(keys.ptStart.x, 0);
  EXPECT_EQ(keys.ptStart.y, 0);
  const GXKeyList zero = GXGetDefaultKeys(0), three = GXGetDefaultKeys(3);
  EXPECT_EQ(std::memcmp(&zero, &three, sizeof zero), 0);
}

}  // namespace
}  // namespace mivora
