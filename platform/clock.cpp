#include "platform/clock.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <thread>

namespace mivora::platform {
namespace {

using RealClock = std::chrono::steady_clock;

// How long a thread that nobody notifies of clock changes may wait in real time before it looks at
// the clock again (the header promises that a step or speed change is noticed within 1 ms).
constexpr std::int64_t kPollUs = 1000;
constexpr std::int64_t kWaiterSliceUs = 20000;
// SleepUntilUs is notified of every change, so it may wait longer between looks.
constexpr std::int64_t kSleeperSliceUs = 100000;

double SpeedFromEnvironment() {
  const char* text = std::getenv("MIVORA_CLOCK_SPEED");
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  const double speed = std::strtod(text, &end);
  if (end == text || !(speed > 0.0) || speed > 1e6) return 1.0;
  return speed;
}

struct ClockState {
  std::mutex mutex;
  std::condition_variable changed;  // sleepers in SleepUntilUs
  RealClock::time_point baseReal = RealClock::now();
  std::int64_t baseUs = 0;  // clock time at baseReal
  double speed = SpeedFromEnvironment();
  bool stepped = false;
  std::int64_t steppedUs = 0;
  std::int64_t lastUs = 0;  // never hand out less than this

  std::int64_t NowLocked() {
    std::int64_t now;
    if (stepped) {
      now = steppedUs;
    } else {
      const double realUs =
          std::chrono::duration<double, std::micro>(RealClock::now() - baseReal).count();
      now = baseUs + static_cast<std::int64_t>(realUs * speed);
    }
    if (now < lastUs) now = lastUs;
    lastUs = now;
    return now;
  }

  // Makes the current clock time the new base (before a change of speed or mode).
  void Rebase() {
    const std::int64_t now = NowLocked();
    baseUs = now;
    baseReal = RealClock::now();
    steppedUs = now;
  }

  std::chrono::microseconds Slice(std::int64_t deadlineUs, std::int64_t capUs) {
    if (stepped) return std::chrono::microseconds(std::min<std::int64_t>(kPollUs, capUs));
    const std::int64_t remaining = deadlineUs - NowLocked();
    if (remaining <= 0) return std::chrono::microseconds(0);
    const double real = static_cast<double>(remaining) / speed;
    const std::int64_t us =
        real >= static_cast<double>(capUs)
            ? capUs
            : std::max<std::int64_t>(1, static_cast<std::int64_t>(real + 0.999));
    return std::chrono::microseconds(us);
  }
};

ClockState& State() {
  static ClockState state;
  return state;
}

}  // namespace

std::int64_t ClockNowUs() {
  ClockState& s = State();
  std::lock_guard<std::mutex> hold(s.mutex);
  return s.NowLocked();
}

void SetClockSpeed(double speed) {
  if (!(speed > 0.0)) return;
  ClockState& s = State();
  {
    std::lock_guard<std::mutex> hold(s.mutex);
    s.Rebase();
    s.speed = speed;
  }
  s.changed.notify_all();
}

double ClockSpeed() {
  ClockState& s = State();
  std::lock_guard<std::mutex> hold(s.mutex);
  return s.speed;
}

void SetClockStepped(bool stepped) {
  ClockState& s = State();
  {
    std::lock_guard<std::mutex> hold(s.mutex);
    if (s.stepped == stepped) return;
    s.Rebase();
    s.stepped = stepped;
  }
  s.changed.notify_all();
}

bool ClockStepped() {
  ClockState& s = State();
  std::lock_guard<std::mutex> hold(s.mutex);
  return s.stepped;
}

void AdvanceClock(std::int64_t microseconds) {
  if (microseconds <= 0) return;
  ClockState& s = State();
  {
    std::lock_guard<std::mutex> hold(s.mutex);
    if (s.stepped) {
      s.steppedUs += microseconds;
    } else {
      // Running: the step is added on top of the running time.
      s.baseUs += microseconds;
    }
  }
  s.changed.notify_all();
}

void SleepUntilUs(std::int64_t deadlineUs) {
  ClockState& s = State();
  std::unique_lock<std::mutex> hold(s.mutex);
  while (s.NowLocked() < deadlineUs) {
    s.changed.wait_for(hold, s.Slice(deadlineUs, kSleeperSliceUs));
  }
}

std::chrono::microseconds RealWaitSlice(std::int64_t deadlineUs) {
  ClockState& s = State();
  std::lock_guard<std::mutex> hold(s.mutex);
  // Stepped, the clock moves only by hand and is looked at each millisecond; running, a waiter
  // sleeps until its deadline in real time (20 ms at most, so a change of speed is seen soon)
  // instead of waking a thousand times a second.
  return s.Slice(deadlineUs, kWaiterSliceUs);
}

}  // namespace mivora::platform
