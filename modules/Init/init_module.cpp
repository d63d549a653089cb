// The settings module "Init.dll": the options file, the main window with its menu, and the
// Configure and Equalizer dialogs.
#include <string>

#include "modules/Init/options_dialogs.h"
#include "modules/Init/options_store.h"
#include "platform/window.h"
#include "shell/commands.h"
#include "shell/settings_module.h"

namespace {

using mivora::Command;
using mivora::Id;
using mivora::platform::MenuItem;

std::vector<MenuItem> PlayerMenu() {
  // One drop-down button, "File", as on the handheld's menu bar; "&" marks the access keys.
  MenuItem settings{u"&Settings", 0, false, {}};
  settings.items = {{u"Audio", Id(Command::Audio), true, {}},
                    {u"Clean Video", Id(Command::CleanVideo), false, {}},
                    {u"Show Slider", Id(Command::ShowSlider), false, {}},
                    {u"Shuffle", Id(Command::Shuffle), false, {}},
                    {u"", 0, false, {}},
                    {u"Configure...", Id(Command::Configure), false, {}},
                    {u"Equalizer", Id(Command::Equalizer), false, {}}};
  MenuItem file{u"File", Id(Command::FileMenu), false, {}};
  file.items = {{u"Open", Id(Command::Open), false, {}},
                {u"Open URL", Id(Command::OpenUrl), false, {}},
                settings,
                {u"About", Id(Command::About), false, {}},
                {u"", 0, false, {}},
                {u"E&xit", Id(Command::Exit), false, {}}};
  return {file};
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void LoadOptions(mivora::PlayerOptions* options) {
  if (options == nullptr) return;
  mivora::settings::LoadOptionsFile(*options, mivora::settings::OptionsFilePath());
}

__attribute__((visibility("default"))) void SaveOptions(mivora::PlayerOptions* options) {
  if (options == nullptr) return;
  const auto path = mivora::settings::OptionsFilePath();
  if (!path.empty()) mivora::settings::SaveOptionsFile(*options, path);
}

__attribute__((visibility("default"))) mivora::platform::WindowHandle ExternalInit(
    void* /*module*/, void* /*instance*/, int show, mivora::PlayerOptions* /*options*/,
    mivora::platform::WindowHandle* commandBar, mivora::platform::WindowProc proc,
    const char16_t* const* /*keyNames*/) {
  mivora::platform::WindowDescription description;
  description.className = u"MIVORAPLAYER";
  description.title = u"Mivora";
  description.proc = proc;
  description.menu = PlayerMenu();
  description.show = show != 0;
  const mivora::platform::WindowHandle window = mivora::platform::CreateMainWindow(description);
  // The menu bar belongs to the window itself here; its handle is the window's.
  if (commandBar != nullptr) *commandBar = window;
  return window;
}

__attribute__((visibility("default"))) void Configure(void*, void*,
                                                      mivora::platform::WindowHandle window,
                                                      mivora::PlayerOptions* options) {
  if (options != nullptr) mivora::settings::RunConfigureDialog(window, *options);
}

__attribute__((visibility("default"))) void Equalizer(void*, void*,
                                                      mivora::platform::WindowHandle window,
                                                      mivora::PlayerOptions* options) {
  if (options != nullptr) mivora::settings::RunEqualizerDialog(window, *options);
}

}  // extern "C"
