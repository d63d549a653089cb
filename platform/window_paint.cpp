// Painting the client area. The display rows (0..239) are pixels of the window's copy of the
// display, as on the handheld, where the window and the display memory are the same screen; the
// status band beneath is kept as the shapes and texts of the last paint.
#include <algorithm>

#include "platform/window_state.h"

namespace mivora::platform {

using namespace window_detail;

namespace {

std::uint16_t To565(std::uint32_t rgb) {
  return std::uint16_t((((rgb >> 19) & 31) << 11) | (((rgb >> 10) & 63) << 5) | ((rgb >> 3) & 31));
}

class WindowPaint final : public PaintContext {
 public:
  explicit WindowPaint(MainWindowState& w) : w_(w) {}

  // The window's background is black, and a paint erases it first, as the handheld's window
  // class brush does: a picture painted smaller than the last one leaves nothing of it behind.
  void Begin() {
    band_.clear();
    std::lock_guard<std::mutex> hold(w_.mutex);
    std::fill(w_.screen.begin(), w_.screen.end(), 0);
    w_.screenChanged = true;
    area_ = w_.area;
  }
  void End() { w_.band = band_; }

  void FillRect(const PaintRect& rect, std::uint32_t colour) override {
    FillDisplay(rect, colour);
    if (rect.bottom > area_.displayHeight)
      band_.push_back({BandItem::Kind::Fill, rect, colour, 0, 0, 0, 0, {}});
  }
  void Rectangle(const PaintRect& rect, std::uint32_t fill, std::uint32_t pen,
                 int penWidth) override {
    FillDisplay(rect, fill);
    if (rect.bottom > area_.displayHeight)
      band_.push_back({BandItem::Kind::Rectangle, rect, fill, pen, 0, 0, penWidth, {}});
  }
  void DrawText(const PaintRect& rect, std::u16string_view text, std::uint32_t colour,
                std::uint32_t background) override {
    band_.push_back({BandItem::Kind::Text, rect, 0, 0, colour, background, 0, Utf8(text)});
  }
  void DrawBitmap565(int x, int y, int width, int height, const std::uint16_t* bits,
                     int scale) override {
    if (bits == nullptr || width <= 0 || height <= 0 || scale <= 0) return;
    std::lock_guard<std::mutex> hold(w_.mutex);
    if (!SameArea(w_.area)) return;
    for (int row = 0; row < height * scale; ++row) {
      const int dy = y + row;
      if (dy < 0 || dy >= area_.displayHeight) continue;
      const std::uint16_t* in = bits + std::size_t(row / scale) * width;
      std::uint16_t* out = w_.screen.data() + std::size_t(dy) * area_.width;
      for (int col = 0; col < width * scale; ++col) {
        const int dx = x + col;
        if (dx >= 0 && dx < area_.width) out[dx] = in[col / scale];
      }
    }
    w_.screenChanged = true;
  }

 private:
  void FillDisplay(const PaintRect& rect, std::uint32_t colour) {
    const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, area_.displayHeight);
    const int left = std::max(rect.left, 0), right = std::min(rect.right, area_.width);
    if (top >= bottom || left >= right) return;
    std::lock_guard<std::mutex> hold(w_.mutex);
    if (!SameArea(w_.area)) return;
    for (int y = top; y < bottom; ++y)
      std::fill(w_.screen.begin() + std::ptrdiff_t(y) * area_.width + left,
                w_.screen.begin() + std::ptrdiff_t(y) * area_.width + right, To565(colour));
    w_.screenChanged = true;
  }

  // The area may change size (a frame presented at a new size) between the paint's start and a
  // drawing call: then the paint's coordinates no longer fit the rows, and it draws nothing (a
  // new paint follows the change).
  bool SameArea(const ClientArea& now) const {
    return now.width == area_.width && now.displayHeight == area_.displayHeight;
  }

  MainWindowState& w_;
  ClientArea area_;
  std::vector<BandItem> band_;
};

// Painting without a window (headless) goes nowhere.
class NoPaint final : public PaintContext {
 public:
  void FillRect(const PaintRect&, std::uint32_t) override {}
  void Rectangle(const PaintRect&, std::uint32_t, std::uint32_t, int) override {}
  void DrawText(const PaintRect&, std::u16string_view, std::uint32_t, std::uint32_t) override {}
  void DrawBitmap565(int, int, int, int, const std::uint16_t*, int) override {}
};

std::unique_ptr<WindowPaint> painting;

}  // namespace

PaintContext& BeginPaint(WindowHandle window) {
  static NoPaint nothing;
  MainWindowState* w = Current();
  if (w == nullptr || window != w) return nothing;
  painting = std::make_unique<WindowPaint>(*w);
  painting->Begin();
  return *painting;
}

void EndPaint(WindowHandle window) {
  MainWindowState* w = Current();
  if (painting && w != nullptr && window == w) painting->End();
  painting.reset();
  if (w != nullptr) w->framesToDraw = std::max(w->framesToDraw, 1);
}

}  // namespace mivora::platform
