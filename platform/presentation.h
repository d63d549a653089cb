// Where the display memory goes each time drawing ends (GXEndDraw) or the window is painted.
// Backends, chosen at run time (SelectPresentation):
//   "none"      nothing (the default)
//   "raw:PATH"  every presented frame appended to PATH: the clock time in microseconds as a
//               64-bit little-endian integer, then the display's pixels (RGB 5-6-5, little-endian;
//               640 x 240 on the handheld's display, width x height rows of width otherwise)
//   "png:DIR"   every presented frame as DIR/frame-NNNNNN.png (from 000001)
// The shell registers its window as another backend.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace mivora::platform {

class PresentationBackend {
 public:
  virtual ~PresentationBackend() = default;
  // pixels: the display memory, width x height RGB 5-6-5, rows of width pixels; timeUs: the
  // platform clock at presentation. Called on the presenting thread, one call at a time.
  virtual void Present(const std::uint16_t* pixels, int width, int height, std::int64_t timeUs) = 0;
};

// Makes a backend from the text after "name:" (empty when there is none); null on failure.
using PresentationFactory =
    std::function<std::unique_ptr<PresentationBackend>(std::string_view argument)>;
void RegisterPresentationBackend(std::string_view name, PresentationFactory factory);

// False when the name is unknown or the backend cannot be made (the previous one stays).
bool SelectPresentation(std::string_view choice);
// Hands the display memory to the current backend.
void PresentDisplay();
// Frames presented since the process started.
std::uint64_t PresentedFrames();
// Closes the current backend (files are complete afterwards); "none" is current after it.
void ClosePresentation();

}  // namespace mivora::platform
