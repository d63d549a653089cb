// Scripted use of the window, for tests and demonstrations: steps run one after another on a
// thread of their own, each as a user would act (key presses and clicks go through the window's
// input), with waits for what the player shows.
//   key NAME            a key press (SDL key names; "Ctrl+Q" for a modified key)
//   click X Y           a tap at client pixel (X, Y)
//   command ID          a menu command
//   drop PATH           a file dropped on the window
//   wait playing|paused|idle|frames N|status TEXT   until it holds (30 s of real time at most)
//   sleep SECONDS       clock seconds
//   screenshot FILE     the client area as a PNG
//   print               one line: paused, playing, full screen, display, status texts
// Steps are separated by ";". A step that cannot be done ends the script with a message.
#pragma once

#include <string>

namespace mivora::shell_script {

// Starts the script's thread; it begins once the main window exists.
bool StartScript(const std::string& text, std::string& error);
// Joins the thread; false when a step failed.
bool FinishScript();

}  // namespace mivora::shell_script
