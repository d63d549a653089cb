// Message boxes: owner window, text, caption, buttons and icon. The shell installs the handler
// that shows them in its window; without one they are headless: "Caption: text" goes to standard
// error and the answer comes from a policy (OK unless set otherwise). Every box is recorded, so
// tests can read what the user would have seen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mivora::platform {

using WindowHandle = void*;

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Information, Warning, Error };
enum class MessageAnswer { Ok, Cancel };

struct MessageBoxRecord {
  WindowHandle owner = nullptr;
  std::u16string text;
  std::u16string caption;
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  MessageAnswer answer = MessageAnswer::Ok;
};

// Shows the box and waits for its answer (a box with only OK answers Ok). Any thread may call it.
MessageAnswer ShowMessageBox(WindowHandle owner, std::u16string_view text,
                             std::u16string_view caption,
                             MessageButtons buttons = MessageButtons::Ok,
                             MessageIcon icon = MessageIcon::None);

// The shell's handler; an empty function returns to headless boxes.
using MessageBoxHandler = std::function<MessageAnswer(const MessageBoxRecord&)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

// Headless answers: for OK+Cancel boxes, the given answer (Ok by default).
void SetHeadlessAnswer(MessageAnswer answer);
// Headless boxes print to standard error unless silenced (tests).
void SetHeadlessQuiet(bool quiet);

std::vector<MessageBoxRecord> MessageBoxLog();
void ClearMessageBoxLog();

}  // namespace mivora::platform
