// Threads and synchronisation as the player's threads use them: named manual-reset events, named
// and unnamed mutexes that their holder may take again, critical sections, sleeping, a
// millisecond tick counter and threads with numeric identities.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace mivora::platform {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// A mutex the holding thread may take again; each Lock needs its Unlock.
class RecursiveMutex {
 public:
  void Lock() { mutex_.lock(); }
  // False when the time-out ran out before the mutex could be taken.
  bool Lock(std::uint32_t timeoutMs);
  void Unlock() { mutex_.unlock(); }
  // For std::lock_guard / std::unique_lock.
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  std::recursive_timed_mutex mutex_;
};

// Critical sections behave like recursive mutexes here.
using CriticalSection = RecursiveMutex;

// A manual-reset event: stays signalled until reset.
class Event {
 public:
  explicit Event(bool signalled = false) : signalled_(signalled) {}
  void Set();
  void Reset();
  bool IsSet();
  // True when signalled within the time-out (kInfinite waits for ever).
  bool Wait(std::uint32_t timeoutMs = kInfinite);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
};

// Named objects: creating a name that exists returns the existing object (its initial state is
// then ignored). An empty name makes an unnamed object. Objects live while anyone holds them.
std::shared_ptr<Event> CreateNamedEvent(std::u16string_view name, bool initiallySignalled);
std::shared_ptr<RecursiveMutex> CreateNamedMutex(std::u16string_view name);

void Sleep(std::uint32_t milliseconds);
// Milliseconds since an arbitrary start; wraps like a 32-bit tick counter.
std::uint32_t GetTickCount();

// Identity of the calling thread: never 0, unique while the process runs.
std::uint32_t CurrentThreadId();

// A started thread that runs on its own; Join waits for it. Destroying a running Thread detaches
// it (the player's threads end themselves and signal events).
class Thread {
 public:
  Thread() = default;
  Thread(Thread&&) = default;
  Thread& operator=(Thread&&);
  ~Thread();
  template <typename Fn>
  static Thread Start(Fn fn) {
    Thread t;
    t.thread_ = std::thread(std::move(fn));
    return t;
  }
  bool Joinable() const { return thread_.joinable(); }
  void Join();
  void Detach();

 private:
  std::thread thread_;
};

}  // namespace mivora::platform
