// The one clock behind the tick counter, Sleep, every timed wait and the paced audio devices
// (null, wav). Real time by default; tests and tools may run it faster than real time or step it
// by hand, so that playback behaves the same, only quicker and repeatable.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace mivora::platform {

// Microseconds of clock time since the process's clock started; never goes back.
std::int64_t ClockNowUs();

// The clock runs speed times faster than real time (speed > 0; 1 = real time). Clock time stays
// continuous across a change. The environment variable MIVORA_CLOCK_SPEED sets the start value.
void SetClockSpeed(double speed);
double ClockSpeed();

// Stepped: the clock stands still and moves only through AdvanceClock, which wakes every thread
// sleeping or waiting on it. Leaving stepped mode continues from the stepped time.
void SetClockStepped(bool stepped);
bool ClockStepped();
void AdvanceClock(std::int64_t microseconds);

// Sleeps until the clock reaches deadlineUs (returns at once when it has).
void SleepUntilUs(std::int64_t deadlineUs);

// Waits on changed (with lock held) until done() holds or the clock reaches deadlineUs; returns
// done(). The waiter must be notified through changed whenever done() may have become true; a
// clock step is noticed within one millisecond of real time, a speed change within 20.
template <typename Done>
bool WaitUntilClockUs(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                      std::int64_t deadlineUs, Done done);

// Implementation detail of WaitUntilClockUs: how long in real time to wait at most before the
// clock should be looked at again, for a deadline deadlineUs of clock time.
std::chrono::microseconds RealWaitSlice(std::int64_t deadlineUs);

template <typename Done>
bool WaitUntilClockUs(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                      std::int64_t deadlineUs, Done done) {
  while (!done()) {
    if (ClockNowUs() >= deadlineUs) return done();
    changed.wait_for(lock, RealWaitSlice(deadlineUs));
  }
  return true;
}

}  // namespace mivora::platform
