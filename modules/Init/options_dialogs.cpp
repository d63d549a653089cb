#include "modules/Init/options_dialogs.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "modules/Init/key_names.h"
#include "shell/display_size_option.h"

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
    {"Play when opened", &PlayerOptions::AutoPlay},
    {"Full screen while playing", &PlayerOptions::FullScreen},
    {"Show slider", &PlayerOptions::ShowSlider},
    {"Shuffle playlists", &PlayerOptions::Shuffle},
    {"Keep awake while playing", &PlayerOptions::KeepAwake},
    {"Read files through the cache", &PlayerOptions::CacheMode},
    {"Read frames directly", &PlayerOptions::DirectRead},
    {"Report dropped frames", &PlayerOptions::ShowDroppedFrames},
    {"Play Xvid and other MPEG-4 video", &PlayerOptions::OtherMpeg4Video},
};

// The display size: the handheld's screen, the picture's own size, or one the user types.
void DisplaySizeFields(PlayerOptions& o) {
  DisplaySize size = DisplaySizeFrom(o.DisplaySize, o.DisplayWidth, o.DisplayHeight);
  int mode = int(size.mode);
  ImGui::TextUnformatted("Display size");
  ImGui::RadioButton("Handheld (640 x 240)", &mode, int(DisplaySizeMode::Handheld));
  ImGui::RadioButton("Fit the picture", &mode, int(DisplaySizeMode::Fit));
  ImGui::RadioButton("Width x height:", &mode, int(DisplaySizeMode::Explicit));
  if (mode == int(DisplaySizeMode::Explicit) && size.mode != DisplaySizeMode::Explicit)
    size = {DisplaySizeMode::Explicit, 640, 480};
  size.mode = DisplaySizeMode(mode);
  if (size.mode == DisplaySizeMode::Explicit) {
    ImGui::SameLine();
    ImGui::SetNextItemWidth(110);
    ImGui::InputInt("##width", &size.width, 16, 160);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(110);
    ImGui::InputInt("##height", &size.height, 16, 160);
    size.width = std::clamp(size.width, 16, platform::kMaxDisplayWidth);
    size.height = std::clamp(size.height, 16, platform::kMaxDisplayHeight);
  }
  SetDisplaySizeOption(o, size);
  ImGui::TextDisabled("Taken when the next item opens.");
}

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
    // Never larger than the window: what does not fit scrolls.
    ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), ImGui::GetMainViewport()->Size);
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
  // Pages, so that the dialog fits the handheld-sized window.
  RunDialog("Configure", options, [&](PlayerOptions& o, bool& accepted) {
    const std::int32_t pressed = platform::TakeLastKeyPress();
    if (capturing >= 0 && pressed != 0) {
      // Escape stands for "no key", so a key can be taken off.
      o.*kKeys[capturing].field = pressed == 27 ? 0 : pressed;
      capturing = -1;
    }
    if (ImGui::BeginTabBar("pages")) {
      if (ImGui::BeginTabItem("Playback")) {
        ImGui::Columns(2, nullptr, false);
        for (std::size_t i = 0; i < std::size(kFlags); ++i) {
          if (i == (std::size(kFlags) + 1) / 2) ImGui::NextColumn();
          Checkbox(kFlags[i].label, o.*kFlags[i].field);
        }
        ImGui::Columns(1);
        int cache = o.CacheParam;
        ImGui::SetNextItemWidth(140);
        if (ImGui::InputInt("Cache (KiB)", &cache, 512, 4096)) o.CacheParam = cache < 0 ? 0 : cache;
        ImGui::SameLine();
        int brightness = o.Brightness;
        ImGui::SetNextItemWidth(140);
        if (ImGui::SliderInt("Brightness", &brightness, -100, 100)) o.Brightness = brightness;
        ImGui::EndTabItem();
      }
      if (ImGui::BeginTabItem("Display")) {
        DisplaySizeFields(o);
        ImGui::EndTabItem();
      }
      if (ImGui::BeginTabItem("Keys")) {
        ImGui::Columns(2, nullptr, false);
        for (int i = 0; i < int(std::size(kKeys)); ++i) {
          if (i == (int(std::size(kKeys)) + 1) / 2) ImGui::NextColumn();
          ImGui::PushID(i);
          const std::string name = capturing == i ? "press a key..." : KeyName(o.*kKeys[i].field);
          if (ImGui::Button(name.c_str(), ImVec2(110, 0))) capturing = i;
          ImGui::SameLine();
          ImGui::TextUnformatted(kKeys[i].label);
          ImGui::PopID();
        }
        ImGui::Columns(1);
        ImGui::TextDisabled("Click a key's button, then press the key (Escape: no key).");
        ImGui::EndTabItem();
      }
      ImGui::EndTabBar();
    }
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
