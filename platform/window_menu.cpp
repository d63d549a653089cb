// The menu bar: drop-downs of the window's menu with their check marks. A chosen item posts its
// command, as the handheld's command bar does.
#include <imgui.h>

#include "platform/window_state.h"

namespace mivora::platform {

using namespace window_detail;

namespace {

// Dear ImGui shows no access keys: "&" is dropped from the label.
std::string Label(const std::u16string& text) {
  std::u16string plain;
  for (char16_t c : text)
    if (c != u'&') plain.push_back(c);
  return Utf8(plain);
}

void DrawItems(MainWindowState& w, const std::vector<MenuItem>& items) {
  for (const MenuItem& item : items) {
    if (item.text.empty() && item.command == 0) {
      ImGui::Separator();
    } else if (!item.items.empty()) {
      if (ImGui::BeginMenu(Label(item.text).c_str())) {
        DrawItems(w, item.items);
        ImGui::EndMenu();
      }
    } else if (ImGui::MenuItem(Label(item.text).c_str(), nullptr, item.checked)) {
      PostWindowMessage(&w, kMsgCommand, static_cast<std::uintptr_t>(item.command));
    }
  }
}

MenuItem* Find(std::vector<MenuItem>& items, int command) {
  for (MenuItem& item : items) {
    if (item.command == command && item.items.empty()) return &item;
    if (MenuItem* inner = Find(item.items, command)) return inner;
  }
  return nullptr;
}

}  // namespace

namespace window_detail {
void DrawMenuBar(MainWindowState& w) {
  if (!ImGui::BeginMainMenuBar()) return;
  if (!w.menuEnabled) ImGui::BeginDisabled();
  DrawItems(w, w.menu);
  if (!w.menuEnabled) ImGui::EndDisabled();
  ImGui::EndMainMenuBar();
}
}  // namespace window_detail

void CheckWindowMenuItem(WindowHandle window, int command, bool checked) {
  MainWindowState* w = Current();
  if (w == nullptr || window != w) return;
  if (MenuItem* item = Find(w->menu, command)) item->checked = checked;
  w->framesToDraw = 2;
}

bool WindowMenuItemChecked(WindowHandle window, int command) {
  MainWindowState* w = Current();
  if (w == nullptr || window != w) return false;
  MenuItem* item = Find(w->menu, command);
  return item != nullptr && item->checked;
}

void ShowMenuBar(WindowHandle window, bool shown) {
  MainWindowState* w = Current();
  if (w == nullptr || window != w) return;
  w->menuShown = shown;
  w->framesToDraw = 2;
}

void EnableMenuBar(WindowHandle window, bool enabled) {
  MainWindowState* w = Current();
  if (w == nullptr || window != w) return;
  w->menuEnabled = enabled;
  w->framesToDraw = 2;
}

}  // namespace mivora::platform
