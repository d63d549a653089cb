#include "engine/player_state.h"

#include <list>
#include <thread>

namespace mivora {

PlayerState& State() {
  static PlayerState state;
  return state;
}

platform::RecursiveMutex& LoadLock() {
  static platform::RecursiveMutex lock;
  return lock;
}

NamedObjects OpenNamedObjects() {
  NamedObjects o;
  o.eventStopped = platform::CreateNamedEvent(u"eventStopped", false);
  o.eventAudioStopped = platform::CreateNamedEvent(u"eventAudioStopped", false);
  o.eventAudio = platform::CreateNamedEvent(u"eventAudio", true);
  o.eventReadStopped = platform::CreateNamedEvent(u"eventReadStopped", false);
  o.eventBufferEmpty = platform::CreateNamedMutex(u"eventBufferEmpty");
  o.eventNextFrame = platform::CreateNamedEvent(u"eventNextFrame", false);
  return o;
}

NamedObjects CreateNamedObjects() {
  // The main window keeps its set for its whole life, so later opens by name find these.
  static const NamedObjects kept = OpenNamedObjects();
  return kept;
}

namespace {

struct Started {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> ended;
};

std::mutex& ThreadsLock() {
  static std::mutex lock;
  return lock;
}
std::list<Started>& Threads() {
  static std::list<Started> threads;
  return threads;
}

}  // namespace

void StartEngineThread(std::function<void()> body) {
  JoinEndedThreads(false);
  auto ended = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard<std::mutex> hold(ThreadsLock());
  Threads().push_back(Started{std::thread([body = std::move(body), ended] {
                                body();
                                ended->store(true, std::memory_order_release);
                              }),
                              ended});
}

void JoinEndedThreads(bool waitAll) {
  const auto self = std::this_thread::get_id();
  for (;;) {
    std::list<Started> done;
    bool waiting = false;
    {
      std::lock_guard<std::mutex> hold(ThreadsLock());
      auto& threads = Threads();
      for (auto it = threads.begin(); it != threads.end();) {
        if (it->thread.get_id() != self && it->ended->load(std::memory_order_acquire)) {
          done.splice(done.end(), threads, it++);
        } else {
          if (it->thread.get_id() != self) waiting = true;
          ++it;
        }
      }
    }
    for (auto& t : done) t.thread.join();
    if (!waitAll || !waiting) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool EngineThreadsRunning() {
  std::lock_guard<std::mutex> hold(ThreadsLock());
  for (const auto& t : Threads()) {
    if (!t.ended->load(std::memory_order_acquire)) return true;
  }
  return false;
}

}  // namespace mivora
