#include "shell/open_dialog.h"

#include <algorithm>

#include "engine/controls.h"
#include "engine/player_state.h"
#include "platform/module.h"
#include "shell/file_dialog_module.h"
#include "shell/player_options.h"
#include "shell/playlist.h"

namespace mivora {
namespace {

constexpr char16_t kFilter[] = u"*.divx,*.avi,*.mp3,*.mpg,*.mpeg,*.pdl";
constexpr std::size_t kMostListCharacters = 100000;

// The chosen name (or list) is in place: the item plays, or the running one stops and its
// presentation thread loads it.
void Play(platform::WindowHandle window) {
  State().isStream = IsStreamPath(CurrentPath()) ? 1 : 0;
  (void)window;
  StopPlayback();
}

void TakeName(const std::u16string& name) {
  if (IsPlaylistPath(name)) {
    ReadPlaylistFile(name);
    ChooseFirstItem();
  } else {
    SetCurrentPath(name);
  }
}

}  // namespace

void OpenDialog(platform::WindowHandle window, bool addressMode) {
  PlayerState& s = State();
  s.isStream = addressMode ? 1 : 0;
  s.autoStart = ReadOption(Options().AutoPlay);
  ClearPlaylist();
  platform::ModuleHandle module = platform::LoadModule(kFileDialogModule);
  if (module == nullptr) return;
  auto dialog = platform::GetEntryPointAs<GetFileNameFn>(module, kFileDialogEntry);
  if (dialog == nullptr) {
    platform::FreeModule(module);
    return;
  }
  char16_t name[kPathChars] = {};
  const char16_t* list = nullptr;
  const std::int32_t chosen = dialog(window, kFilter, name, kPathChars, &list,
                                     ReadOption(Options().DialogOption), addressMode ? 1 : 0);
  name[kPathChars - 1] = 0;
  if (chosen <= 0) {
    platform::FreeModule(module);
    return;
  }
  const std::u16string first(name);
  if (IsPlaylistPath(first)) {
    TakeName(first);
  } else if (chosen > 1 && list != nullptr) {
    std::size_t length = 0;
    while (length < kMostListCharacters && list[length] != 0) ++length;
    ReadPlaylist(list, length);
    ChooseFirstItem();
  } else {
    SetCurrentPath(first);
  }
  platform::FreeModule(module);
  Play(window);
}

void OpenPath(platform::WindowHandle window, const std::u16string& path) {
  State().autoStart = ReadOption(Options().AutoPlay);
  ClearPlaylist();
  TakeName(path);
  Play(window);
}

}  // namespace mivora
