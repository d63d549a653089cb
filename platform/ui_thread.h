// The user-interface thread and the requests other threads hand it. A thread that needs the
// user-interface thread (a message box, a window call) queues its work and waits for it; the
// user-interface thread runs queued work from its message loop and also whenever it itself waits
// (platform waits, locks and sleeps serve requests between slices), so a control that waits for
// another thread never waits on a thread that waits for it.
#pragma once

#include <functional>

namespace mivora::platform {

// Makes the calling thread the user-interface thread and opens the queue.
void SetUserInterfaceThread();
bool OnUserInterfaceThread();
bool UserInterfaceThreadExists();

// Runs work on the user-interface thread and waits until it has run (at once on that thread).
// False, with work not run, when there is no user-interface thread or its queue is closed.
bool RunOnUserInterfaceThread(const std::function<void()>& work);
// On the user-interface thread: runs the work queued so far. Elsewhere: nothing.
void ServeUserInterfaceRequests();
// Called when work is queued, to wake the user-interface thread's loop.
void SetUserInterfaceWake(std::function<void()> wake);
// Closes the queue: queued and later work is refused (its callers return false). The thread
// stays the user-interface thread; SetUserInterfaceThread opens a new queue.
void CloseUserInterfaceRequests();

}  // namespace mivora::platform
