#include "platform/ui_thread.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace mivora::platform {
namespace {

struct Request {
  std::function<void()> work;
  bool done = false;
  bool refused = false;
};

struct Queue {
  std::mutex mutex;
  std::condition_variable changed;
  std::thread::id thread;
  bool exists = false;
  bool open = false;
  std::deque<std::shared_ptr<Request>> pending;
  std::function<void()> wake;
};

Queue& TheQueue() {
  static Queue* queue = new Queue;  // outlives every thread that may still ask
  return *queue;
}

}  // namespace

void SetUserInterfaceThread() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  q.thread = std::this_thread::get_id();
  q.exists = true;
  q.open = true;
}

bool OnUserInterfaceThread() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  return q.exists && q.thread == std::this_thread::get_id();
}

bool UserInterfaceThreadExists() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  return q.exists && q.open;
}

bool RunOnUserInterfaceThread(const std::function<void()>& work) {
  Queue& q = TheQueue();
  auto request = std::make_shared<Request>();
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> hold(q.mutex);
    if (!q.exists || !q.open) return false;
    if (q.thread == std::this_thread::get_id()) {
      request.reset();
    } else {
      request->work = work;
      q.pending.push_back(request);
      wake = q.wake;
    }
  }
  if (!request) {
    work();
    return true;
  }
  if (wake) wake();
  std::unique_lock<std::mutex> hold(q.mutex);
  // Woken when the work has run or the queue is closed: the user-interface thread serves the
  // queue on every pass of its loop and inside its own waits.
  q.changed.wait(hold, [&] { return request->done || request->refused; });
  return request->done;
}

void ServeUserInterfaceRequests() {
  Queue& q = TheQueue();
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard<std::mutex> hold(q.mutex);
      if (!q.exists || q.thread != std::this_thread::get_id() || q.pending.empty()) return;
      request = q.pending.front();
      q.pending.pop_front();
    }
    request->work();
    std::lock_guard<std::mutex> hold(q.mutex);
    request->done = true;
    q.changed.notify_all();
  }
}

void SetUserInterfaceWake(std::function<void()> wake) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  q.wake = std::move(wake);
}

void CloseUserInterfaceRequests() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> hold(q.mutex);
  q.open = false;
  for (auto& request : q.pending) request->refused = true;
  q.pending.clear();
  q.wake = nullptr;
  q.changed.notify_all();
}

}  // namespace mivora::platform
