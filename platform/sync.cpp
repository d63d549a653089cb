#include "platform/sync.h"

#include "platform/clock.h"
#include "platform/ui_thread.h"

#include <atomic>
#include <limits>
#include <map>
#include <string>

namespace mivora::platform {
namespace {

// The user-interface thread waits in slices of at most this much real time and serves the other
// threads' requests between them.
constexpr std::chrono::milliseconds kServeSlice{5};

std::int64_t DeadlineUs(std::uint32_t timeoutMs) {
  if (timeoutMs == kInfinite) return std::numeric_limits<std::int64_t>::max();
  return ClockNowUs() + std::int64_t{timeoutMs} * 1000;
}

}  // namespace

bool RecursiveMutex::Lock(std::uint32_t timeoutMs) {
  if (OnUserInterfaceThread()) {
    const std::int64_t deadline = DeadlineUs(timeoutMs);
    for (;;) {
      if (mutex_.try_lock()) return true;
      ServeUserInterfaceRequests();
      if (ClockNowUs() >= deadline) return mutex_.try_lock();
      const auto slice = std::min<std::chrono::microseconds>(RealWaitSlice(deadline), kServeSlice);
      if (mutex_.try_lock_until(std::chrono::system_clock::now() + slice)) return true;
    }
  }
  if (timeoutMs == kInfinite) {
    mutex_.lock();
    return true;
  }
  // The deadline is in platform clock time, so a stepped or faster clock ends the wait as it
  // ends every other.
  if (mutex_.try_lock()) return true;
  const std::int64_t deadline = ClockNowUs() + std::int64_t{timeoutMs} * 1000;
  while (ClockNowUs() < deadline) {
    // Against the system clock: libstdc++ waits for a steady-clock deadline with
    // pthread_mutex_clocklock, which ThreadSanitizer does not see, so it took every such lock
    // for unheld. A slice is at most a millisecond, so a wall-clock jump barely matters.
    if (mutex_.try_lock_until(std::chrono::system_clock::now() + RealWaitSlice(deadline)))
      return true;
  }
  return mutex_.try_lock();
}

void Event::Set() {
  std::lock_guard<std::mutex> hold(mutex_);
  signalled_ = true;
  changed_.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> hold(mutex_);
  signalled_ = false;
}

bool Event::IsSet() {
  std::lock_guard<std::mutex> hold(mutex_);
  return signalled_;
}

bool Event::Wait(std::uint32_t timeoutMs) {
  if (OnUserInterfaceThread()) {
    const std::int64_t deadline = DeadlineUs(timeoutMs);
    for (;;) {
      ServeUserInterfaceRequests();
      std::unique_lock<std::mutex> hold(mutex_);
      if (signalled_) return true;
      if (ClockNowUs() >= deadline) return false;
      changed_.wait_for(hold,
                        std::min<std::chrono::microseconds>(RealWaitSlice(deadline), kServeSlice));
      if (signalled_) return true;
    }
  }
  std::unique_lock<std::mutex> hold(mutex_);
  if (timeoutMs == kInfinite) {
    changed_.wait(hold, [this] { return signalled_; });
    return true;
  }
  const std::int64_t deadline = ClockNowUs() + std::int64_t{timeoutMs} * 1000;
  return WaitUntilClockUs(hold, changed_, deadline, [this] { return signalled_; });
}

namespace {
template <typename T>
struct Registry {
  std::mutex mutex;
  std::map<std::u16string, std::weak_ptr<T>> byName;

  template <typename Make>
  std::shared_ptr<T> Get(std::u16string_view name, Make make) {
    if (name.empty()) return make();
    std::lock_guard<std::mutex> hold(mutex);
    auto& slot = byName[std::u16string(name)];
    if (auto existing = slot.lock()) return existing;
    auto created = make();
    slot = created;
    return created;
  }
};

Registry<Event>& Events() {
  static Registry<Event> registry;
  return registry;
}
Registry<RecursiveMutex>& Mutexes() {
  static Registry<RecursiveMutex> registry;
  return registry;
}
}  // namespace

std::shared_ptr<Event> CreateNamedEvent(std::u16string_view name, bool initiallySignalled) {
  return Events().Get(name, [&] { return std::make_shared<Event>(initiallySignalled); });
}

std::shared_ptr<RecursiveMutex> CreateNamedMutex(std::u16string_view name) {
  return Mutexes().Get(name, [] { return std::make_shared<RecursiveMutex>(); });
}

void Sleep(std::uint32_t milliseconds) {
  if (milliseconds != 0 && OnUserInterfaceThread()) {
    const std::int64_t deadline = DeadlineUs(milliseconds);
    for (;;) {
      ServeUserInterfaceRequests();
      const std::int64_t now = ClockNowUs();
      if (now >= deadline) return;
      SleepUntilUs(std::min(deadline, now + 5000));
    }
  }
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (milliseconds == kInfinite) {
    SleepUntilUs(std::numeric_limits<std::int64_t>::max());
    return;
  }
  SleepUntilUs(ClockNowUs() + std::int64_t{milliseconds} * 1000);
}

std::uint32_t GetTickCount() {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ClockNowUs() / 1000));
}

std::uint32_t CurrentThreadId() {
  static std::atomic<std::uint32_t> next{1};
  thread_local const std::uint32_t id = next.fetch_add(1);
  return id;
}

Thread& Thread::operator=(Thread&& other) {
  if (thread_.joinable()) thread_.detach();
  thread_ = std::move(other.thread_);
  return *this;
}

Thread::~Thread() {
  if (thread_.joinable()) thread_.detach();
}

void Thread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Thread::Detach() {
  if (thread_.joinable()) thread_.detach();
}

}  // namespace mivora::platform
