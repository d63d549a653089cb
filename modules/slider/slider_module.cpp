// The slider module "slider.dll": a position bar beneath the picture. It follows the position the
// player reports and seeks when the user drags it (the seek happens on release, so a drag is one
// seek) or presses Page Up / Page Down (10 % steps), Home or End while it has the focus.
#include <imgui.h>

#include <algorithm>

#include "platform/window.h"
#include "shell/slider_module.h"

namespace {

struct Slider {
  mivora::platform::WindowHandle window = nullptr;
  mivora::SeekCallback seek = nullptr;
  mivora::PositionCallback position = nullptr;
  int dragged = -1;  // the percentage being dragged to, -1 when not dragging
};
Slider slider;

void Draw(int, int, int width, int) {
  int value = slider.dragged >= 0 ? slider.dragged : std::clamp(slider.position(), 0, 100);
  ImGui::SetNextItemWidth(float(width - 8));
  if (ImGui::SliderInt("##position", &value, 0, 100, "%d%%")) slider.dragged = value;
  if (ImGui::IsItemDeactivatedAfterEdit() && slider.dragged >= 0) {
    slider.seek(slider.dragged);
    slider.dragged = -1;
  } else if (!ImGui::IsItemActive()) {
    slider.dragged = -1;
  }
}

bool Key(std::int32_t key) {
  constexpr std::int32_t kPageUp = 0x4000004B, kPageDown = 0x4000004E, kHome = 0x4000004A,
                         kEnd = 0x4000004D;
  const int now = std::clamp(slider.position(), 0, 100);
  int to = -1;
  if (key == kPageUp) to = std::min(100, now + 10);
  if (key == kPageDown) to = std::max(0, now - 10);
  if (key == kHome) to = 0;
  if (key == kEnd) to = 99;  // the last key frames, not past the end
  if (to < 0) return false;
  slider.seek(to);
  return true;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) mivora::platform::WindowHandle InitSlider(
    void*, mivora::platform::WindowHandle parent, int, int, mivora::SeekCallback seek,
    mivora::PositionCallback position, mivora::PlayerOptions*) {
  if (seek == nullptr || position == nullptr) return nullptr;
  slider.seek = seek;
  slider.position = position;
  slider.dragged = -1;
  mivora::platform::ChildWindowLayout description;
  description.height = 22;
  description.draw = &Draw;
  description.key = &Key;
  slider.window = mivora::platform::CreateChildWindow(parent, std::move(description));
  return slider.window;
}

__attribute__((visibility("default"))) void DestroySlider() {
  if (slider.window != nullptr) mivora::platform::DestroyChildWindow(slider.window);
  slider.window = nullptr;
}

}  // extern "C"
