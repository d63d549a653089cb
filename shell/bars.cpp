#include "shell/bars.h"

#include "platform/module.h"
#include "shell/player_options.h"
#include "shell/shell_window.h"
#include "shell/slider_module.h"

#include "engine/controls.h"

namespace mivora {
namespace {

struct Bars {
  platform::ModuleHandle sliderModule = nullptr;
  DestroySliderFn destroySlider = nullptr;
  platform::WindowHandle slider = nullptr;
  bool barsShown = false;
  bool displayOn = true;
};
Bars& TheBars() {
  static Bars bars;
  return bars;
}

void SeekCallbackFn(std::int32_t percent) {
  SeekToPercent(percent);
}
std::int32_t PositionCallbackFn() {
  return PositionPercent();
}

}  // namespace

void OpenSlider(platform::WindowHandle parent) {
  Bars& b = TheBars();
  if (!ReadOption(Options().ShowSlider)) return;
  if (b.sliderModule == nullptr) {
    b.sliderModule = platform::LoadModule(kSliderModule);
    if (b.sliderModule == nullptr) return;  // a player without its slider still plays
    auto init = platform::GetEntryPointAs<InitSliderFn>(b.sliderModule, u"InitSlider");
    b.destroySlider = platform::GetEntryPointAs<DestroySliderFn>(b.sliderModule, u"DestroySlider");
    if (init == nullptr || b.destroySlider == nullptr) {
      platform::FreeModule(b.sliderModule);
      b.sliderModule = nullptr;
      return;
    }
    b.slider =
        init(Shell().instance, parent, 0, 0, &SeekCallbackFn, &PositionCallbackFn, &Options());
  }
  platform::ShowChildWindow(b.slider, true);
  platform::SetWindowFocus(b.slider);
}

void RemoveSlider() {
  Bars& b = TheBars();
  if (b.sliderModule != nullptr && !ReadOption(Options().ShowSlider)) {
    CloseSlider();
  } else if (b.slider != nullptr) {
    platform::ShowChildWindow(b.slider, false);
  }
  platform::SetWindowFocus(Shell().mainWindow);
}

void CloseSlider() {
  Bars& b = TheBars();
  if (b.sliderModule == nullptr) return;
  b.destroySlider();
  platform::FreeModule(b.sliderModule);
  b.sliderModule = nullptr;
  b.destroySlider = nullptr;
  b.slider = nullptr;
}

void SetFullScreen(bool barsVisible) {
  Bars& b = TheBars();
  const platform::WindowHandle window = Shell().mainWindow;
  b.barsShown = barsVisible;
  platform::EnableMenuBar(window, barsVisible);
  if (barsVisible) {
    platform::ShowMenuBar(window, true);
    OpenSlider(window);
    platform::SetWindowFullScreen(window, false);  // the desktop's panel comes back
  } else {
    RemoveSlider();
    platform::SetWindowFullScreen(window, true);
    platform::ShowMenuBar(window, false);
  }
  platform::InvalidateWindow(window);
}

bool BarsShown() {
  return TheBars().barsShown;
}

void ToggleDisplayPower() {
  Bars& b = TheBars();
  b.displayOn = !b.displayOn;
  platform::SetDisplayPower(Shell().mainWindow, b.displayOn);
}

bool DisplayIsOn() {
  return TheBars().displayOn;
}

}  // namespace mivora
