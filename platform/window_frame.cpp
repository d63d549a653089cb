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

Layout MakeLayout(MainWindowState& w, const ClientArea& area, int windowWidth, int windowHeight) {
  Layout l;
  l.menuHeight = w.menuShown && !w.fullScreen ? int(ImGui::GetFrameHeight()) : 0;
  l.clientWidth = area.width;
  l.displayRows = area.displayHeight;
  l.clientRows = w.fullScreen ? area.displayHeight : area.Height();
  int childRows = 0;
  for (auto& c : w.children)
    if (c->shown) childRows += c->description.height;
  const int availableRows = std::max(1, windowHeight - l.menuHeight - childRows);
  l.scale = std::min(float(windowWidth) / l.clientWidth, float(availableRows) / l.clientRows);
  if (l.scale <= 0) l.scale = 1;
  l.left = int((windowWidth - l.clientWidth * l.scale) / 2);
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

// The window takes the client area's size with the menu bar and the slider strip, scaled down
// (aspect kept) where the desktop is smaller.
void FitWindowToClient(MainWindowState& w, const ClientArea& area) {
  int width = area.width, height = area.Height() + 19 + 24;
  SDL_Rect usable{0, 0, 0, 0};
  const int display = SDL_GetWindowDisplayIndex(w.sdl);
  const bool bounded = display >= 0 && SDL_GetDisplayUsableBounds(display, &usable) == 0 &&
                       usable.w > 0 && usable.h > 32;
  if (bounded) {
    const float scale = std::min({1.0f, float(usable.w) / width, float(usable.h - 32) / height});
    if (scale > 0 && scale < 1) {
      width = std::max(1, int(width * scale));
      height = std::max(1, int(height * scale));
    }
  }
  if (w.fullScreen) {
    // Taken when full screen ends.
    w.windowedWidth = width;
    w.windowedHeight = height;
    return;
  }
  SDL_SetWindowSize(w.sdl, width, height);
  if (!bounded) return;
  // A window grown where it stood (centred for the handheld's display) would reach past the
  // desktop's edge; it is moved back inside, leaving room for a title bar above it.
  int x = 0, y = 0;
  SDL_GetWindowPosition(w.sdl, &x, &y);
  const int top = usable.y + 32;
  const int left = std::clamp(x, usable.x, std::max(usable.x, usable.x + usable.w - width));
  const int down = std::clamp(y, top, std::max(top, usable.y + usable.h - height));
  if (left != x || down != y) SDL_SetWindowPosition(w.sdl, left, down);
}

void DrawFrame(MainWindowState& w, const std::function<bool()>* modal, bool* modalGoesOn) {
  ClientArea area;
  bool resize = false;
  {
    std::lock_guard<std::mutex> hold(w.mutex);
    area = w.area;
    if (w.textureWidth != area.width || w.textureHeight != area.displayHeight) {
      SDL_Texture* texture =
          SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                            area.width, area.displayHeight);
      if (texture != nullptr) {
        SDL_DestroyTexture(w.texture);
        w.texture = texture;
        w.textureWidth = area.width;
        w.textureHeight = area.displayHeight;
        w.screenChanged = true;
      }
    }
    if (w.screenChanged && w.textureWidth == area.width)
      SDL_UpdateTexture(w.texture, nullptr, w.screen.data(), area.width * 2);
    w.screenChanged = false;
    resize = w.sizeChanged;
    w.sizeChanged = false;
  }
  if (resize) FitWindowToClient(w, area);
  int width = area.width, height = area.Height();
  SDL_GetRendererOutputSize(w.renderer, &width, &height);
  const bool capturing = w.captureWanted;
  // A screenshot is drawn one to one; a window scaled down to fit the desktop is too small for
  // that, so such a frame is drawn off screen, on a target as large as the client area needs.
  SDL_Texture* target = nullptr;
  if (capturing) {
    const int menuRows = w.menuShown && !w.fullScreen ? int(ImGui::GetFrameHeight()) : 0;
    const int needWidth = std::max(width, area.width);
    const int needHeight =
        std::max(height, menuRows + (w.fullScreen ? area.displayHeight : area.Height()));
    if (needWidth > width || needHeight > height) {
      target = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET,
                                 needWidth, needHeight);
      if (target != nullptr && SDL_SetRenderTarget(w.renderer, target) == 0) {
        width = needWidth;
        height = needHeight;
      } else if (target != nullptr) {
        SDL_DestroyTexture(target);
        target = nullptr;
      }
    }
  }
  ImGui_ImplSDLRenderer_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  if (target != nullptr) ImGui::GetIO().DisplaySize = ImVec2(float(width), float(height));
  ImGui::NewFrame();
  Layout l = MakeLayout(w, area, width, height);
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
    const SDL_Rect picture{l.left, l.top, int(l.clientWidth * l.scale),
                           int(l.displayRows * l.scale)};
    SDL_RenderCopy(w.renderer, w.texture, nullptr, &picture);
  }
  ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
  // What the user sees of the client area, read back before it is shown.
  if (w.captureWanted) {
    w.captureWanted = false;
    const SDL_Rect client{l.left, l.top, l.clientWidth, l.clientRows};
    w.capture.resize(std::size_t(l.clientWidth) * l.clientRows * 3);
    w.captured = SDL_RenderReadPixels(w.renderer, &client, SDL_PIXELFORMAT_RGB24, w.capture.data(),
                                      l.clientWidth * 3) == 0;
  }
  if (target != nullptr) {
    SDL_SetRenderTarget(w.renderer, nullptr);
    SDL_DestroyTexture(target);
  }
  if (!capturing) SDL_RenderPresent(w.renderer);
}

}  // namespace mivora::platform::window_detail
