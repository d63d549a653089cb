#include "modules/Init/options_dialogs.h"

#include <imgui.h>

#include <cstdio>
#include <iterator>

#include "modules/Init/key_names.h"

namespace mivora::settings {
namespace {

struct KeyField {
  const char* label;
  std::int32_t PlayerOptions::*field;
};
const KeyField kKeys[] = {
    {"Pause / resume", &PlayerOptions::PauseKey},
    {"Stop", &PlayerOptions::StopKey},
    {"Fast forward", &PlayerOptions::FastForwardKey},
    {"Next item", &PlayerOptions::NextItemKey},
    {"Rotate", &PlayerOptions::RotateKey},
    {"Double size", &PlayerOptions::DoubleSizeKey},
    {"Display off / on", &PlayerOptions::DisplayKey},
    {"Volume up", &PlayerOptions::VolumeUpKey},
    {"Volume down", &PlayerOptions::VolumeDownKey},
    {"Brightness up", &PlayerOptions::BrightnessUpKey},
    {"Brightness down", &PlayerOptions::BrightnessDownKey},
};

struct FlagField {
  const char* label;
  std::uint8_t PlayerOptions::*field;
};
const FlagField kFlags[] = {
    {"Rotate the picture", &PlayerOptions::Rotate},
    {"Double size", &PlayerOptions::DoubleSize},
    {"Audio", &PlayerOptions::Audio},
    {"Clean Video", &PlayerOptions::CleanVideo},
    {"Play at once when opened", &PlayerOptions::AutoPlay},
    {"Full screen while playing", &PlayerOptions::FullScreen},
    {"Show slider", &PlayerOptions::ShowSlider},
    {"Shuffle playlists", &PlayerOptions::Shuffle},
    {"Keep the display awake while playing", &PlayerOptions::KeepAwake},
    {"Read local files through the cache", &PlayerOptions::CacheMode},
    {"Read frames directly (no reader thread)", &PlayerOptions::DirectRead},
    {"Report dropped frames", &PlayerOptions::ShowDroppedFrames},
};

bool Checkbox(const char* label, std::uint8_t& flag) {
  bool value = flag != 0;
  const bool changed = ImGui::Checkbox(label, &value);
  flag = value ? 1 : 0;
  return changed;
}

// OK (or Enter) keeps the edits, Cancel (or Escape) drops them; returns false once closed.
bool Buttons(bool& accepted, bool capturing) {
  ImGui::Separator();
  const bool enter = !capturing && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter));
  const bool escape = !capturing && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape));
  if (ImGui::Button("OK", ImVec2(90, 0)) || enter) {
    accepted = true;
    return false;
  }
  ImGui::SameLine();
  if (ImGui::Button("Cancel", ImVec2(90, 0)) || escape) return false;
  return true;
}

template <typename Body>
void RunDialog(const char* title, PlayerOptions& options, Body body) {
  PlayerOptions edited = options;
  bool accepted = false, opened = false;
  platform::RunModalLoop([&] {
    if (!opened) ImGui::OpenPopup(title);
    opened = true;
    ImGui::SetNextWindowPos(ImGui::GetMainViewport()->GetCenter(), ImGuiCond_Always,
                            ImVec2(0.5f, 0.5f));
    bool goesOn = true;
    if (ImGui::BeginPopupModal(title, nullptr,
                               ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove)) {
      goesOn = body(edited, accepted);
      if (!goesOn) ImGui::CloseCurrentPopup();
      ImGui::EndPopup();
    }
    return goesOn;
  });
  if (accepted) options = edited;
}

}  // namespace

void RunConfigureDialog(platform::WindowHandle, PlayerOptions& options) {
  int capturing = -1;  // the key field waiting for a press
  RunDialog("Configure", options, [&](PlayerOptions& o, bool& accepted) {
    ImGui::Columns(2, nullptr, false);
    for (const FlagField& f : kFlags) Checkbox(f.label, o.*f.field);
    int cache = o.CacheParam;
    ImGui::SetNextItemWidth(120);
    if (ImGui::InputInt("Cache (KiB)", &cache, 512, 4096)) o.CacheParam = cache < 0 ? 0 : cache;
    int brightness = o.Brightness;
    ImGui::SetNextItemWidth(120);
    if (ImGui::SliderInt("Brightness", &brightness, -100, 100)) o.Brightness = brightness;
    ImGui::NextColumn();
    const std::int32_t pressed = platform::TakeLastKeyPress();
    for (int i = 0; i < int(std::size(kKeys)); ++i) {
      ImGui::PushID(i);
      const std::string name = capturing == i ? "press a key..." : KeyName(o.*kKeys[i].field);
      if (ImGui::Button(name.c_str(), ImVec2(120, 0))) capturing = i;
      ImGui::SameLine();
      ImGui::TextUnformatted(kKeys[i].label);
      ImGui::PopID();
    }
    if (capturing >= 0 && pressed != 0 && ImGui::GetFrameCount() > 1) {
      // Escape stands for "no key", so a key can be taken off.
      o.*kKeys[capturing].field = pressed == 27 ? 0 : pressed;
      capturing = -1;
      return true;
    }
    ImGui::Columns(1);
    return Buttons(accepted, capturing >= 0);
  });
}

void RunEqualizerDialog(platform::WindowHandle, PlayerOptions& options) {
  static const char* const kBands[kEqualizerBands] = {"31", "62", "125", "250", "500",
                                                      "1k", "2k", "4k",  "8k",  "16k"};
  RunDialog("Equalizer", options, [&](PlayerOptions& o, bool& accepted) {
    Checkbox("Equalizer on", o.EqualizerOn);
    for (int i = 0; i < kEqualizerBands; ++i) {
      if (i > 0) ImGui::SameLine();
      int value = o.EqualizerBands[i];
      ImGui::PushID(i);
      if (ImGui::VSliderInt("##band", ImVec2(28, 140), &value, kEqualizerMinDb, kEqualizerMaxDb))
        o.EqualizerBands[i] = static_cast<std::int8_t>(value);
      ImGui::PopID();
    }
    for (int i = 0; i < kEqualizerBands; ++i) {
      if (i > 0) ImGui::SameLine(float(8 + i * 36));
      ImGui::TextUnformatted(kBands[i]);
    }
    if (ImGui::Button("Flat"))
      std::fill(std::begin(o.EqualizerBands), std::end(o.EqualizerBands), 0);
    return Buttons(accepted, false);
  });
}

}  // namespace mivora::settings
