#include "engine/player_state.h"
#include "platform/window.h"
#include "shell/player_options.h"
#include "shell/playlist.h"
#include "shell/settings.h"
#include "shell/shell_window.h"

namespace mivora {

void InstallShellHooks();  // shell_window.cpp

int PlayerMain(void* instance, std::u16string_view commandLine, int show) {
  SetCurrentPath(u"");
  if (!commandLine.empty()) {
    ClearPlaylist();
    if (commandLine.find(u".pdl") != std::u16string_view::npos) {
      if (ReadPlaylistFile(commandLine)) ChooseFirstItem();
    } else {
      SetCurrentPath(commandLine);
    }
    State().isStream = IsStreamPath(CurrentPath()) ? 1 : 0;
  }
  Options().Audio = 1;  // on at every start unless the stored options say otherwise
  InstallShellHooks();
  if (!StartThroughModule(instance, show)) return 0;
  return platform::RunMessageLoop();
}

}  // namespace mivora
