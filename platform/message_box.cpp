#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "platform/wide_string.h"

namespace mivora::platform {
namespace {

struct Boxes {
  std::mutex mutex;
  MessageBoxHandler handler;
  MessageAnswer headlessAnswer = MessageAnswer::Ok;
  bool quiet = false;
  std::vector<MessageBoxRecord> log;
};
Boxes& TheBoxes() {
  static Boxes boxes;
  return boxes;
}

}  // namespace

MessageAnswer ShowMessageBox(WindowHandle owner, std::u16string_view text,
                             std::u16string_view caption, MessageButtons buttons,
                             MessageIcon icon) {
  Boxes& b = TheBoxes();
  MessageBoxRecord record;
  record.owner = owner;
  record.text = std::u16string(text);
  record.caption = std::u16string(caption);
  record.buttons = buttons;
  record.icon = icon;
  MessageBoxHandler handler;
  bool quiet;
  {
    std::lock_guard<std::mutex> hold(b.mutex);
    handler = b.handler;
    quiet = b.quiet;
    record.answer = buttons == MessageButtons::Ok ? MessageAnswer::Ok : b.headlessAnswer;
  }
  if (handler) {
    // The shell's box waits for the user: shown without the lock.
    record.answer = handler(record);
    if (buttons == MessageButtons::Ok) record.answer = MessageAnswer::Ok;
  } else if (!quiet) {
    const std::string line = ToUtf8(record.caption) + ": " + ToUtf8(record.text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
  std::lock_guard<std::mutex> hold(b.mutex);
  b.log.push_back(record);
  return record.answer;
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
  Boxes& b = TheBoxes();
  std::lock_guard<std::mutex> hold(b.mutex);
  b.handler = std::move(handler);
}

void SetHeadlessAnswer(MessageAnswer answer) {
  Boxes& b = TheBoxes();
  std::lock_guard<std::mutex> hold(b.mutex);
  b.headlessAnswer = answer;
}

void SetHeadlessQuiet(bool quiet) {
  Boxes& b = TheBoxes();
  std::lock_guard<std::mutex> hold(b.mutex);
  b.quiet = quiet;
}

std::vector<MessageBoxRecord> MessageBoxLog() {
  Boxes& b = TheBoxes();
  std::lock_guard<std::mutex> hold(b.mutex);
  return b.log;
}

void ClearMessageBoxLog() {
  Boxes& b = TheBoxes();
  std::lock_guard<std::mutex> hold(b.mutex);
  b.log.clear();
}

}  // namespace mivora::platform
