#include "shell/settings.h"

#include "engine/audio_thread.h"
#include "engine/controls.h"
#include "engine/player_state.h"
#include "platform/module.h"
#include "shell/bars.h"
#include "shell/display_size_option.h"
#include "shell/settings_module.h"
#include "shell/shell_window.h"

namespace mivora {
namespace {

const char16_t* const kKeyNames[kKeyNameCount] = {u"",
                                                  u"Play",
                                                  u"Stop",
                                                  u"Pause",
                                                  u"Fast Forward",
                                                  u"Full Screen",
                                                  u"PlayerOptions.Rotate",
                                                  u"Next Item"};

void RunDialog(const char16_t* entry, bool equalizer) {
  PlayerState& s = State();
  // The picture stands still while the dialog is up, and stays paused after it.
  if (PresentationRunning() && !s.paused.load() && s.framesInRun.load() > 0) TogglePause();
  platform::ModuleHandle module = platform::LoadModule(kSettingsModule);
  if (module == nullptr) return;
  if (auto dialog = platform::GetEntryPointAs<OptionsDialogFn>(module, entry))
    dialog(module, Shell().instance, Shell().mainWindow, &Options());
  // The new bands are heard at once.
  if (equalizer && AudioDecoderActive()) InitAudioDecoder(true);
  platform::FreeModule(module);
}

}  // namespace

bool StartThroughModule(void* instance, int show) {
  ShellWindow& shell = Shell();
  shell.instance = instance;
  platform::ModuleHandle module = platform::LoadModule(kSettingsModule);
  if (module == nullptr) return false;
  auto externalInit = platform::GetEntryPointAs<ExternalInitFn>(module, u"ExternalInit");
  auto loadOptions = platform::GetEntryPointAs<LoadOptionsFn>(module, u"LoadOptions");
  if (externalInit == nullptr || loadOptions == nullptr) return false;
  loadOptions(&Options());
  shell.stored = Options();
  if (shell.displaySize) SetDisplaySizeOption(Options(), *shell.displaySize);
  if (shell.otherMpeg4Video) Options().OtherMpeg4Video = *shell.otherMpeg4Video ? 1 : 0;
  shell.commanded = Options();
  const platform::WindowHandle window = externalInit(
      module, instance, show, &Options(), &shell.commandBar, &PlayerWindowProc, kKeyNames);
  if (window == nullptr) return false;  // the module stays loaded, as the window may use it
  shell.mainWindow = window;
  OpenSlider(window);
  platform::FreeModule(module);
  return true;
}

void ConfigureThroughModule() {
  RunDialog(u"Configure", false);
}

void EqualizerThroughModule() {
  RunDialog(u"Equalizer", true);
}

void SaveOptionsThroughModule() {
  platform::ModuleHandle module = platform::LoadModule(kSettingsModule);
  if (module == nullptr) return;
  // What the command line chose holds for this run; what the user chose in Configure is kept.
  const ShellWindow& shell = Shell();
  PlayerOptions kept = Options();
  if (kept.DisplaySize == shell.commanded.DisplaySize &&
      kept.DisplayWidth == shell.commanded.DisplayWidth &&
      kept.DisplayHeight == shell.commanded.DisplayHeight) {
    kept.DisplaySize = shell.stored.DisplaySize;
    kept.DisplayWidth = shell.stored.DisplayWidth;
    kept.DisplayHeight = shell.stored.DisplayHeight;
  }
  if (kept.OtherMpeg4Video == shell.commanded.OtherMpeg4Video)
    kept.OtherMpeg4Video = shell.stored.OtherMpeg4Video;
  if (auto save = platform::GetEntryPointAs<SaveOptionsFn>(module, u"SaveOptions")) save(&kept);
  platform::FreeModule(module);
}

}  // namespace mivora
