// "wav:PATH": paced like "null"; what is played (volume applied) goes to a 16-bit PCM WAV file.
// The first open after the backend was selected starts the file afresh; later opens with the same
// format append, so a playlist's items follow one another. The header holds a placeholder until a
// device closes; every close writes the true sizes.
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "platform/wave_device.h"

namespace mivora::platform {
namespace {

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

class WavFile {
 public:
  ~WavFile() {
    if (file_ != nullptr) {
      WriteHeader(false);
      std::fclose(file_);
    }
  }
  bool Start(const std::string& path, const WaveFormat& format) {
    file_ = std::fopen(path.c_str(), "w+b");
    if (file_ == nullptr) return false;
    format_ = format;
    return WriteHeader(true);
  }
  const WaveFormat& Format() const { return format_; }
  void Append(const std::uint8_t* data, std::size_t bytes) {
    if (file_ == nullptr || bytes == 0) return;
    std::fwrite(data, 1, bytes, file_);
    dataBytes_ += bytes;
  }
  // placeholder: sizes the file cannot have, for a file left by a crash.
  bool WriteHeader(bool placeholder) {
    std::uint8_t h[44];
    const std::uint32_t data = placeholder ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes_);
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, placeholder ? 0xFFFFFFFFu : 36 + data);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, format_.channels);
    Put32(h + 24, format_.samplesPerSecond);
    Put32(h + 28, format_.averageBytesPerSecond);
    Put16(h + 32, format_.blockAlign);
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, data);
    if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
    const bool ok = std::fwrite(h, 1, sizeof h, file_) == sizeof h;
    std::fseek(file_, 0, SEEK_END);
    std::fflush(file_);
    return ok;
  }

 private:
  std::FILE* file_ = nullptr;
  WaveFormat format_;
  std::uint64_t dataBytes_ = 0;
};

struct WavFiles {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<WavFile>> byPath;
};
WavFiles& Files() {
  static WavFiles files;
  return files;
}

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
  return a.channels == b.channels && a.samplesPerSecond == b.samplesPerSecond;
}

class WavWaveDevice final : public PacedWaveDevice {
 public:
  WavWaveDevice(std::string path, const WaveFormat& format, WaveCallback callback,
                std::uintptr_t instance, std::uint32_t volume)
      : PacedWaveDevice(format, callback, instance, volume), path_(std::move(path)) {}
  const char* Name() const override { return "wav"; }

  std::uint32_t StartBackend() override {
    WavFiles& files = Files();
    std::lock_guard<std::mutex> hold(files.mutex);
    auto& slot = files.byPath[path_];
    if (!slot || !SameFormat(slot->Format(), format_)) {
      slot.reset();
      auto file = std::make_shared<WavFile>();
      if (!file->Start(path_, format_)) {
        files.byPath.erase(path_);
        return kWaveError;
      }
      slot = file;
    }
    file_ = slot;
    return kWaveNoError;
  }
  void StopBackend() override {
    WavFiles& files = Files();
    std::lock_guard<std::mutex> hold(files.mutex);
    if (file_) file_->WriteHeader(false);
  }

 protected:
  void PlayedLocked(const std::uint8_t* data, std::size_t bytes) override {
    scratch_.resize(bytes);
    wave::ApplyGain(data, scratch_.data(), bytes, format_.channels, volume_);
    std::lock_guard<std::mutex> hold(Files().mutex);
    file_->Append(scratch_.data(), bytes);
  }

 private:
  std::string path_;
  std::shared_ptr<WavFile> file_;
  std::vector<std::uint8_t> scratch_;
};

}  // namespace

namespace wave {
void ForgetWavFile(const std::string& path) {
  WavFiles& files = Files();
  std::lock_guard<std::mutex> hold(files.mutex);
  files.byPath.erase(path);
}

std::shared_ptr<WaveDevice> MakeWavDevice(const std::string& path, const WaveFormat& format,
                                          WaveCallback callback, std::uintptr_t instance,
                                          std::uint32_t volume) {
  return std::make_shared<WavWaveDevice>(path, format, callback, instance, volume);
}
}  // namespace wave
}  // namespace mivora::platform
