// Message boxes as dialogs of the main window. A box asked for on another thread is shown by
// the user-interface thread while the asking thread waits; once the window is gone a box answers
// at once (Cancel where it offers Cancel), since no one is left to answer it.
#include <imgui.h>

#include "platform/message_box.h"
#include "platform/ui_thread.h"
#include "platform/window_state.h"

namespace mivora::platform {

using namespace window_detail;

namespace {

MessageAnswer ShowDialog(const MessageBoxRecord& box) {
  MessageAnswer answer =
      box.buttons == MessageButtons::OkCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
  const std::string caption = Utf8(box.caption) + "###messagebox";
  const std::string text = Utf8(box.text);
  bool opened = false;
  RunModalLoop([&] {
    if (!opened) {
      ImGui::OpenPopup(caption.c_str());
      opened = true;
    }
    const ImGuiViewport* view = ImGui::GetMainViewport();
    ImGui::SetNextWindowSizeConstraints(ImVec2(0, 0), view->Size);
    ImGui::SetNextWindowPos(view->GetCenter(), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    bool goesOn = true;
    if (ImGui::BeginPopupModal(caption.c_str(), nullptr,
                               ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoMove)) {
      ImGui::TextUnformatted(text.c_str());
      ImGui::Spacing();
      const bool enter = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter)) ||
                         ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter));
      const bool escape = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape));
      if (ImGui::Button("OK", ImVec2(80, 0)) || enter) {
        answer = MessageAnswer::Ok;
        goesOn = false;
      }
      if (box.buttons == MessageButtons::OkCancel) {
        ImGui::SameLine();
        if (ImGui::Button("Cancel", ImVec2(80, 0)) || escape) {
          answer = MessageAnswer::Cancel;
          goesOn = false;
        }
      } else if (escape) {
        goesOn = false;
      }
      if (!goesOn) ImGui::CloseCurrentPopup();
      ImGui::EndPopup();
    }
    return goesOn;
  });
  return answer;
}

}  // namespace

void InstallWindowMessageBoxes(bool withDisplay) {
  // Without a display nobody could answer: boxes stay headless (printed, answered by policy).
  if (!withDisplay) return;
  SetMessageBoxHandler([](const MessageBoxRecord& box) {
    MessageAnswer answer =
        box.buttons == MessageButtons::OkCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    RunOnUserInterfaceThread([&] {
      if (Current() != nullptr) answer = ShowDialog(box);
    });
    return answer;
  });
}

std::int32_t TakeLastKeyPress() {
  MainWindowState* w = Current();
  if (w == nullptr) return 0;
  const std::int32_t key = w->lastKey;
  w->lastKey = 0;
  return key;
}

std::vector<std::string> WindowStatusTexts() {
  std::vector<std::string> texts;
  if (MainWindowState* w = Current())
    for (const BandItem& item : w->band)
      if (item.kind == BandItem::Kind::Text) texts.push_back(item.text);
  return texts;
}

}  // namespace mivora::platform
