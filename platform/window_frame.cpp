// One drawn frame of the main window: the menu bar, the display scaled with its aspect kept, the
// status band as the last paint left it, the child windows beneath, and any dialog.
#include <imgui.h>

#include <algorithm>

#include "backends/imgui_impl_sdl.h"
#include "backends/imgui_impl_sdlrenderer.h"
#include "platform/window_state.h"

namespace mivora::platform::window_detail {
namespace {

ImU32 Colour(std::uint32_t rgb) {
  return IM_COL32((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, 0xFF);
}

Layout MakeLayout(MainWindowState& w, int windowWidth, int windowHeight) {
  Layout l;
  l.menuHeight = w.menuShown && !w.fullScreen ? int(ImGui::GetFrameHeight()) : 0;
  l.clientRows = w.fullScreen ? kDisplayHeight : kClientHeight;
  int childRows = 0;
  for (auto& c : w.children)
    if (c->shown) childRows += c->description.height;
  const int availableRows = std::max(1, windowHeight - l.menuHeight - childRows);
  l.scale = std::min(float(windowWidth) / kClientWidth, float(availableRows) / l.clientRows);
  if (l.scale <= 0) l.scale = 1;
  l.left = int((windowWidth - kClientWidth * l.scale) / 2);
  l.top = l.menuHeight + int((availableRows - l.clientRows * l.scale) / 2);
  l.childTop = l.top + int(l.clientRows * l.scale);
  return l;
}

void DrawBand(MainWindowState& w, const Layout& l) {
  ImDrawList* list = ImGui::GetBackgroundDrawList();
  auto at = [&](int x, int y) { return ImVec2(l.left + x * l.scale, l.top + y * l.scale); };
  for (const BandItem& item : w.band) {
    const ImVec2 a = at(item.rect.left, item.rect.top), b = at(item.rect.right, item.rect.bottom);
    switch (item.kind) {
      case BandItem::Kind::Fill:
        list->AddRectFilled(a, b, Colour(item.fill));
        break;
      case BandItem::Kind::Rectangle:
        list->AddRectFilled(a, b, Colour(item.fill));
        list->AddRect(a, b, Colour(item.pen), 0, 0, float(item.penWidth) * l.scale);
        break;
      case BandItem::Kind::Text:
        list->PushClipRect(a, b, true);
        list->AddText(ImGui::GetFont(), ImGui::GetFontSize() * l.scale, a, Colour(item.colour),
                      item.text.c_str());
        list->PopClipRect();
        break;
    }
  }
}

void DrawChildren(MainWindowState& w, const Layout& l, int windowWidth) {
  int y = l.childTop;
  for (auto& c : w.children) {
    if (!c->shown) continue;
    ImGui::SetNextWindowPos(ImVec2(0, float(y)));
    ImGui::SetNextWindowSize(ImVec2(float(windowWidth), float(c->description.height)));
    char id[32];
    std::snprintf(id, sizeof id, "##child%p", static_cast<void*>(c.get()));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(4, 1));
    ImGui::Begin(id, nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
    if (ImGui::IsWindowHovered() && ImGui::IsMouseClicked(0)) w.focus = c.get();
    if (c->description.draw) c->description.draw(0, y, windowWidth, c->description.height);
    ImGui::End();
    ImGui::PopStyleVar();
    y += c->description.height;
  }
}

}  // namespace

void DrawFrame(MainWindowState& w, const std::function<bool()>* modal, bool* modalGoesOn) {
  int width = kClientWidth, height = kClientHeight;
  SDL_GetRendererOutputSize(w.renderer, &width, &height);
  {
    std::lock_guard<std::mutex> hold(w.mutex);
    if (w.screenChanged) SDL_UpdateTexture(w.texture, nullptr, w.screen.data(), kDisplayWidth * 2);
    w.screenChanged = false;
  }
  ImGui_ImplSDLRenderer_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();
  Layout l = MakeLayout(w, width, height);
  const bool capturing = w.captureWanted;
  if (capturing) {
    // A screenshot is the client area one to one: this frame is drawn unscaled, read back and
    // not shown.
    l.scale = 1;
    l.left = 0;
    l.top = l.menuHeight;
    l.childTop = l.top + l.clientRows;
  }
  w.layout = l;
  if (l.menuHeight > 0) DrawMenuBar(w);
  if (!w.fullScreen) DrawBand(w, l);
  DrawChildren(w, l, width);
  if (modal != nullptr && modalGoesOn != nullptr) *modalGoesOn = (*modal)();
  ImGui::Render();

  SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
  SDL_RenderClear(w.renderer);
  if (w.displayOn) {
    const SDL_Rect picture{l.left, l.top, int(kDisplayWidth * l.scale),
                           int(kDisplayHeight * l.scale)};
    SDL_RenderCopy(w.renderer, w.texture, nullptr, &picture);
  }
  ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
  // What the user sees of the client area, read back before it is shown.
  if (w.captureWanted) {
    w.captureWanted = false;
    const SDL_Rect client{l.left, l.top, kClientWidth, l.clientRows};
    w.capture.resize(std::size_t(kClientWidth) * l.clientRows * 3);
    w.captured = SDL_RenderReadPixels(w.renderer, &client, SDL_PIXELFORMAT_RGB24, w.capture.data(),
                                      kClientWidth * 3) == 0;
  }
  if (!capturing) SDL_RenderPresent(w.renderer);
}

}  // namespace mivora::platform::window_detail
