// libFuzzer target: any bytes served as a file through the fake input module, opened by the
// AVI reader and driven through every operation with bounded loops.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "input/avi_reader.h"
#include "platform/module.h"

namespace {

using SetDataFn = void (*)(const std::uint8_t*, std::int32_t);

SetDataFn Setup() {
  mivora::platform::SetModuleDirectory(mivora::platform::ProgramDirectory() + "/fake_input");
  mivora::SetAviReaderReopenWait(0);
  // Held loaded for the whole run so the data survives the reader's loads and unloads.
  static mivora::platform::ModuleHandle module = mivora::platform::LoadModule(u"InputMedia.dll");
  return mivora::platform::GetEntryPointAs<SetDataFn>(module, u"FakeInputSetData");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const SetDataFn setData = Setup();
  if (setData == nullptr || size > 1 << 20) return 0;
  setData(data, static_cast<std::int32_t>(size));
  mivora::MediaSource source;
  mivora::InitializeAviReader(&source);
  mivora::MediaInfo* info = nullptr;
  if (source.Open(u"fuzz.avi", 0, 0, &info) != 0 && info != nullptr) {
    const mivora::AviReaderCounts counts = mivora::GetAviReaderCounts();
    std::vector<std::uint8_t> buffer(mivora::kDefaultFrameCapacity);
    const std::int32_t frames = counts.videoEntries + 2 < 200 ? counts.videoEntries + 2 : 200;
    for (std::int32_t i = 0; i < frames; ++i) {
      if (source.ReadVideoFrame(buffer.data(), 0) > mivora::kDefaultFrameCapacity) __builtin_trap();
    }
    for (int i = 0; i < 16; ++i) {
      if (source.ReadAudio(buffer.data(), 8192) > 8192) __builtin_trap();
    }
    for (std::int32_t p : {0, 1, 37, 99, 100}) {
      if (source.SeekPercent(p) < 0) __builtin_trap();
      source.SyncAudioToVideo();
      source.GetPositionPercent();
      source.IsKeyFrame(info->currentFrame);
      source.ReadVideoFrame(buffer.data(), 1);
      source.ReadAudio(buffer.data(), 1000 + p);
    }
  }
  source.Close();
  return 0;
}
