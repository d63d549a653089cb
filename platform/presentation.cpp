#include "platform/presentation.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/display_memory.h"
#include "platform/png_file.h"

namespace mivora::platform {
namespace {

// "raw:PATH": the clock time (64-bit little-endian) and the pixels (5-6-5 little-endian).
class RawPresentation final : public PresentationBackend {
 public:
  explicit RawPresentation(std::FILE* file) : file_(file) {}
  ~RawPresentation() override { std::fclose(file_); }
  void Present(const std::uint16_t* pixels, int width, int height, std::int64_t timeUs) override {
    std::uint8_t time[8];
    for (int i = 0; i < 8; ++i)
      time[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(timeUs) >> (8 * i));
    std::fwrite(time, 1, 8, file_);
    const std::size_t count = static_cast<std::size_t>(width) * height;
    bytes_.resize(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
      bytes_[2 * i] = static_cast<std::uint8_t>(pixels[i]);
      bytes_[2 * i + 1] = static_cast<std::uint8_t>(pixels[i] >> 8);
    }
    std::fwrite(bytes_.data(), 1, bytes_.size(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
  std::vector<std::uint8_t> bytes_;
};

#ifdef MIVORA_HAVE_PNG
// "png:DIR": DIR/frame-000001.png and on, 8-bit RGB (5-6-5 widened by repeating the top bits).
class PngPresentation final : public PresentationBackend {
 public:
  explicit PngPresentation(std::filesystem::path dir) : dir_(std::move(dir)) {}
  void Present(const std::uint16_t* pixels, int width, int height, std::int64_t) override {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(++count_));
    row_.resize(static_cast<std::size_t>(width) * height * 3);
    for (int i = 0; i < width * height; ++i) {
      const unsigned p = pixels[i];
      const unsigned r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
      row_[3 * i] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
      row_[3 * i + 1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
      row_[3 * i + 2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
    }
    WritePngRgb((dir_ / name).string(), row_.data(), width, height);
  }

 private:
  std::filesystem::path dir_;
  std::uint64_t count_ = 0;
  std::vector<std::uint8_t> row_;
};
#endif

struct Presentation {
  std::mutex mutex;  // one presentation at a time; guards everything below
  std::map<std::string, PresentationFactory, std::less<>> factories;
  std::unique_ptr<PresentationBackend> current;
  std::vector<std::uint16_t> frame;
  std::atomic<std::uint64_t> presented{0};

  Presentation() {
    factories["none"] = [](std::string_view) -> std::unique_ptr<PresentationBackend> {
      return nullptr;
    };
    factories["raw"] = [](std::string_view path) -> std::unique_ptr<PresentationBackend> {
      if (path.empty()) return nullptr;
      std::FILE* file = std::fopen(std::string(path).c_str(), "wb");
      if (file == nullptr) return nullptr;
      return std::make_unique<RawPresentation>(file);
    };
#ifdef MIVORA_HAVE_PNG
    factories["png"] = [](std::string_view dir) -> std::unique_ptr<PresentationBackend> {
      if (dir.empty()) return nullptr;
      std::error_code error;
      std::filesystem::create_directories(std::filesystem::path(dir), error);
      if (!std::filesystem::is_directory(std::filesystem::path(dir))) return nullptr;
      return std::make_unique<PngPresentation>(std::filesystem::path(dir));
    };
#endif
  }
};

Presentation& ThePresentation() {
  static Presentation presentation;
  return presentation;
}

}  // namespace

void RegisterPresentationBackend(std::string_view name, PresentationFactory factory) {
  Presentation& p = ThePresentation();
  std::lock_guard<std::mutex> hold(p.mutex);
  p.factories[std::string(name)] = std::move(factory);
}

bool SelectPresentation(std::string_view choice) {
  const std::size_t colon = choice.find(':');
  const std::string_view name = choice.substr(0, colon);
  const std::string_view argument =
      colon == std::string_view::npos ? std::string_view() : choice.substr(colon + 1);
  Presentation& p = ThePresentation();
  PresentationFactory factory;
  {
    std::lock_guard<std::mutex> hold(p.mutex);
    auto it = p.factories.find(name);
    if (it == p.factories.end()) return false;
    factory = it->second;
  }
  // Made without the lock, so that a factory may take its time (a window) or present.
  std::unique_ptr<PresentationBackend> made = factory(argument);
  if (!made && name != "none") return false;
  std::unique_ptr<PresentationBackend> old;
  {
    std::lock_guard<std::mutex> hold(p.mutex);
    old = std::move(p.current);
    p.current = std::move(made);
  }
  return true;  // old closes here, outside the lock
}

void PresentDisplay() {
  Presentation& p = ThePresentation();
  std::lock_guard<std::mutex> hold(p.mutex);
  p.presented.fetch_add(1);
  if (!p.current) return;
  // The display memory as it stands now, rows of its width; the backend gets a stable copy.
  const DisplaySnapshot d = CurrentDisplay();
  const std::size_t width = std::size_t(d.geometry.width);
  p.frame.resize(width * std::size_t(d.geometry.height));
  for (std::int32_t row = 0; row < d.geometry.height; ++row)
    std::memcpy(p.frame.data() + row * width, d.memory + std::size_t(row) * d.geometry.pitch,
                width * 2);
  p.current->Present(p.frame.data(), d.geometry.width, d.geometry.height, ClockNowUs());
}

std::uint64_t PresentedFrames() {
  return ThePresentation().presented.load();
}

void ClosePresentation() {
  Presentation& p = ThePresentation();
  std::unique_ptr<PresentationBackend> old;
  {
    std::lock_guard<std::mutex> hold(p.mutex);
    old = std::move(p.current);
  }
}

}  // namespace mivora::platform
