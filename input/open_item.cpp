#include "input/open_item.h"

#include <cstring>
#include <mutex>
#include <new>

#include "decoder/decoder_entry.h"
#include "decoder/fourcc.h"
#include "engine/audio_thread.h"
#include "engine/controls.h"
#include "engine/frame_queue.h"
#include "engine/player_state.h"
#include "engine/presentation.h"
#include "engine/shell_hooks.h"
#include "input/avi_reader.h"
#include "platform/display_memory.h"
#include "platform/module.h"
#include "shell/display_size_option.h"
#include "shell/player_options.h"
#include "shell/playlist.h"

namespace mivora {

namespace {

struct ItemModules {
  platform::ModuleHandle reader = nullptr;
  platform::ModuleHandle video = nullptr;
  platform::ModuleHandle audio = nullptr;
};
ItemModules& Modules() {
  static ItemModules modules;
  return modules;
}

void Unload(platform::ModuleHandle& module) {
  if (module != nullptr) platform::FreeModule(module);
  module = nullptr;
}

bool Contains(const std::u16string& path, const char16_t* part) {
  return path.find(part) != std::u16string::npos;
}

bool IsMpegPath(const std::u16string& path) {
  return Contains(path, u".mpg") || Contains(path, u".MPG") || Contains(path, u".MPEG") ||
         Contains(path, u".mpeg");
}

bool FourccIs(const MediaInfo& info, const char* a, const char* b) {
  return std::memcmp(info.fourcc, a, 4) == 0 || std::memcmp(info.fourcc, b, 4) == 0;
}

void Tell(const char16_t* text, const char16_t* caption) {
  platform::ShowMessageBox(State().mainWindow.load(), text, caption);
}

platform::ModuleHandle LoadAudioDecoder(const char16_t* name) {
  platform::ModuleHandle module = platform::LoadModule(name);
  Modules().audio = module;
  SetAudioDecoderModule(module);
  return module;
}

// A local AVI whose "idx1" is missing or empty opens in the built-in reader with nothing to play;
// the streaming reader reads such a file front to back instead. Returns the result of the open
// now in the table (the built-in reader's own when the module is not there).
std::int32_t ReopenWithoutIndex(const std::u16string& path, std::int32_t mode,
                                std::int32_t cacheParameter, MediaInfo** info) {
  const AviReaderCounts counts = GetAviReaderCounts();
  if (counts.videoEntries != 0 || counts.audioChunks != 0) return 1;
  platform::ModuleHandle module = platform::LoadModule(u"avistream.dll");
  auto initialize =
      module ? platform::GetEntryPointAs<InitializeReaderFn>(module, u"InitializeReader") : nullptr;
  if (initialize == nullptr) {
    if (module != nullptr) platform::FreeModule(module);
    return 1;
  }
  PlayerState& s = State();
  s.source.Close();
  s.source = MediaSource{};
  Modules().reader = module;
  initialize(&s.source);
  *info = nullptr;
  return s.source.Open != nullptr ? s.source.Open(path.c_str(), mode, cacheParameter, info) : 0;
}

}  // namespace

void ChooseReader() {
  PlayerState& s = State();
  ItemModules& m = Modules();
  // A table must never keep the operations of a module that is gone.
  s.source = MediaSource{};
  Unload(m.reader);
  const std::u16string path = CurrentPath();
  const char16_t* name = nullptr;
  if (IsMpegPath(path)) {
    name = u"mpegreader.dll";
  } else if (Contains(path, u".mp3") || Contains(path, u".MP3")) {
    name = u"mp3reader.dll";
  } else if (s.isStream.load() || ReadOption(Options().DirectRead)) {
    name = u"avistream.dll";
    s.queueDepth = kDirectDepth;
  }
  if (name == nullptr) {
    InitializeAviReader(&s.source);
    return;
  }
  m.reader = platform::LoadModule(name);
  auto initialize =
      m.reader ? platform::GetEntryPointAs<InitializeReaderFn>(m.reader, u"InitializeReader")
               : nullptr;
  if (initialize == nullptr) {
    Unload(m.reader);
    return;  // the empty table's Open fails: "Failed to load file"
  }
  initialize(&s.source);
}

std::int32_t ChooseDecoders() {
  PlayerState& s = State();
  ItemModules& m = Modules();
  Unload(m.video);
  SetAudioDecoderModule(nullptr);
  Unload(m.audio);
  const std::u16string path = CurrentPath();
  const MediaInfo& info = *s.info.load();
  const bool direct = s.isStream.load() || ReadOption(Options().DirectRead);
  if (direct) {
    InstallDirectSupply();
  } else {
    InstallQueuedSupply();
  }
  s.twoFrameSkip = true;
  const bool badAudio = info.audioFormatTag != 85 && info.audioBytes != 0;

  if (FourccIs(info, "div3", "DIV3")) {
    m.video = platform::LoadModule(u"msmpeg.dll");
    auto decore = m.video ? platform::GetEntryPointAs<DecoreFn>(m.video, u"decore") : nullptr;
    auto frame =
        m.video ? platform::GetEntryPointAs<DecoreFrameFn>(m.video, u"decore_frame") : nullptr;
    if (decore != nullptr && frame != nullptr) {
      if (badAudio) {
        Tell(u"This file contains an incompatible audio format", u"Video Error");
        return -1;
      }
      s.decore = decore;
      s.decoreFrame = frame;
      LoadAudioDecoder(u"MP3LibCE.dll");
    } else {
      Unload(m.video);  // no audio decoder either: reported below with the loader's text
    }
  } else if (IsMpegPath(path)) {
    LoadAudioDecoder(u"MP12LibCE.dll");
    s.decore = &PassThroughDecore;
    s.decoreFrame = &PassThroughDecoreFrame;
    InstallDirectSupply();
    s.twoFrameSkip = false;
  } else {
    // Other writers' tags for the same video play through the built-in decoder when the user
    // has asked for it; otherwise they are refused as the handheld's player refused them.
    const bool otherMpeg4 =
        ReadOption(Options().OtherMpeg4Video) != 0 && decoder::IsOtherMpeg4Fourcc(info.fourcc);
    if (!FourccIs(info, "divx", "DIVX") && !otherMpeg4) {
      Tell(u"This file contains an incompatible video format", u"Video Error");
      return -1;
    }
    if (badAudio) {
      Tell(u"This file contains an incompatible audio format", u"Video Error");
      return -1;
    }
    if (info.audioBytes != 0 && info.frameCount == 0 && ReadOption(Options().Audio) == 0) {
      Tell(
          u"You have selected an audio only file, but have audio disabled. Audio has been "
          u"re-enabled.",
          u"Audio Warning");
      WriteOption(Options().Audio, std::uint8_t(1));
      Hooks().CheckMenuItem(kCommandAudio, true);
    }
    s.decore = &decore;
    s.decoreFrame = &decore_frame;
    LoadAudioDecoder(u"MP3LibCE.dll");
  }
  if (m.audio != nullptr) return 0;
  const std::u16string error = platform::LastErrorText();
  platform::ShowMessageBox(nullptr, error, u"Error loading audio decoder",
                           platform::MessageButtons::Ok, platform::MessageIcon::Information);
  return -1;
}

void LoadCurrentItem(platform::WindowHandle mainWindow) {
  // The user-interface thread and an ending run may both load; one item is loaded at a time.
  std::lock_guard<platform::RecursiveMutex> one(LoadLock());
  PlayerState& s = State();
  PlayerOptions& o = Options();
  s.mainWindow = mainWindow;
  for (;;) {
    if (CurrentPath().empty()) return;
    Hooks().LeaveFullScreen();
    Hooks().EnableCommandBar(false);
    s.readerStopRequested = 1;
    s.paused = 0;
    s.fastForward = 0;
    while (s.readerThreadId.load() != 0) platform::Sleep(10);
    s.stopRequested = 0;
    s.info = nullptr;
    s.bitRate = 0;
    if (s.source.Close != nullptr) s.source.Close();
    s.pausedBitmap = nullptr;
    delete[] s.pausedFrameBuffer.exchange(nullptr);
    FlushQueue();
    if (s.exiting.load()) return;

    s.isStream = IsStreamPath(CurrentPath()) ? 1 : 0;
    ChooseReader();
    Hooks().WaitCursor(true);
    const std::int32_t mode = s.isStream.load() ? 1 : ReadOption(o.CacheMode) ? 2 : 0;
    // Frames up to the largest the index holds fit the engine's buffers; the reader is told.
    SetAviReaderFrameCapacity(kFrameBufferBytes);
    const std::u16string path = CurrentPath();
    MediaInfo* info = nullptr;
    std::int32_t opened = s.source.Open != nullptr
                              ? s.source.Open(path.c_str(), mode, ReadOption(o.CacheParam), &info)
                              : 0;
    if (opened != 0 && info != nullptr && Modules().reader == nullptr) {
      opened = ReopenWithoutIndex(path, mode, ReadOption(o.CacheParam), &info);
    }
    if (opened == 0 || info == nullptr) {
      Hooks().WaitCursor(false);
      Hooks().EnableCommandBar(true);
      if (opened != 0 && s.source.Close != nullptr) s.source.Close();
      s.source = MediaSource{};
      if (ThePlaylist().playlistCount == 0) {
        Tell(u"Failed to load file", u"Load Error");
        return;
      }
      if (platform::ShowMessageBox(mainWindow, u"Failed to load file", u"Load Error",
                                   platform::MessageButtons::OkCancel) ==
          platform::MessageAnswer::Cancel) {
        return;
      }
      NextPlaylistItem();
      continue;
    }
    s.info = info;
    Hooks().WaitCursor(false);
    if (info->audioBytes == 0 && info->frameCount == 0) {
      Hooks().EnableCommandBar(true);
      return;
    }
    Hooks().Repaint(mainWindow);
    if (ChooseDecoders() == -1) {
      Hooks().EnableCommandBar(true);
      return;
    }
    if (!PrepareFrameBuffers(info->largestFrameBytes)) {
      Tell(u"Could not allocate enough memory", u"");
      Hooks().EnableCommandBar(true);
      return;
    }
    SetAviReaderFrameCapacity(FrameCapacity());
    s.videoWidth = static_cast<std::int16_t>(info->width);
    s.videoHeight = static_cast<std::int16_t>(info->height);
    const std::size_t pixels =
        std::size_t(s.videoWidth > 0 ? s.videoWidth : 0) * (s.videoHeight > 0 ? s.videoHeight : 0);
    s.pausedFrameBuffer = new (std::nothrow) std::uint16_t[pixels > 0 ? pixels : 1]();
    // The display is made as large as any output mode of this item needs now, so changing the
    // mode while it plays allocates nothing.
    const bool displayReady = platform::ReserveDisplayMemory(
        LargestDisplayPixels(DisplaySizeOption(o), s.videoWidth, s.videoHeight));
    if (s.pausedFrameBuffer.load() == nullptr || !displayReady) {
      Tell(u"Could not allocate enough memory", u"");
      Hooks().EnableCommandBar(true);
      return;
    }
    {
      // The new run's clock is set before its thread exists: whoever sees it running (a pause,
      // a seek, a caller waiting for the reopened item) must not see the last run's frame.
      std::lock_guard<std::mutex> hold(s.runLock);
      s.framesInRun = info->frameCount;
      s.targetFrame = kNoTargetFrame;
      s.runFrame = 0;
    }
    s.queuedFrames = 0;
    Hooks().EnableCommandBar(true);
    NamedObjects named = OpenNamedObjects();
    if (s.queueDepth.load() > 1) {
      s.readerStopRequested = 0;
      s.readerThreadId = 1;
      StartEngineThread([] {
        State().readerThreadId = platform::CurrentThreadId();
        ReaderThread();
      });
    } else {
      named.eventReadStopped->Set();
    }
    PlacePicture(mainWindow);
    SelectOutputMode(0);
    const std::uint8_t autoStart = s.autoStart.load();
    s.presentationThreads.fetch_add(1);
    s.presentationThreadId = 1;
    StartEngineThread([mainWindow] {
      State().presentationThreadId = platform::CurrentThreadId();
      PresentationThread(mainWindow);
      State().presentationThreads.fetch_sub(1);
    });
    if (autoStart == 0) TogglePause();
    return;
  }
}

void UnloadItem() {
  PlayerState& s = State();
  ItemModules& m = Modules();
  if (s.source.Close != nullptr) s.source.Close();
  s.source = MediaSource{};
  s.info = nullptr;
  SetAudioDecoderModule(nullptr);
  Unload(m.audio);
  Unload(m.video);
  Unload(m.reader);
  delete[] s.pausedFrameBuffer.exchange(nullptr);
  s.pausedBitmap = nullptr;
}

}  // namespace mivora
