#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sync.h"

using namespace mivora::platform;
using namespace std::chrono_literals;

namespace {

// Waits in real time (the platform clock may stand still) until done() holds.
template <typename Done>
bool RealWait(Done done, std::chrono::milliseconds limit = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

class Clock : public ::testing::Test {
 protected:
  void TearDown() override {
    SetClockStepped(false);
    SetClockSpeed(1.0);
  }
};

}  // namespace

TEST_F(Clock, RunsAtTheSpeedFactorAndStaysContinuous) {
  const std::int64_t a = ClockNowUs();
  SetClockSpeed(20.0);
  EXPECT_EQ(ClockSpeed(), 20.0);
  const std::int64_t b = ClockNowUs();
  EXPECT_GE(b, a);
  EXPECT_LT(b - a, 20000);  // no jump at the change
  const auto realStart = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(50ms);
  const double real =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - realStart)
          .count();
  const std::int64_t c = ClockNowUs();
  EXPECT_NEAR(static_cast<double>(c - b), real * 20.0, real * 20.0 * 0.1 + 5000);
  SetClockSpeed(1.0);
  const std::int64_t d = ClockNowUs();
  EXPECT_GE(d, c);
  EXPECT_LT(d - c, 20000);
}

TEST_F(Clock, SleepAndTickCountFollowTheSpeed) {
  SetClockSpeed(50.0);
  const auto realStart = std::chrono::steady_clock::now();
  const std::uint32_t tick = GetTickCount();
  Sleep(500);  // 10 ms of real time
  const auto real = std::chrono::steady_clock::now() - realStart;
  EXPECT_GE(GetTickCount() - tick, 500u);
  EXPECT_LT(real, 300ms);
  Sleep(0);  // yields only
}

TEST_F(Clock, SteppedClockStandsStillAndAdvancesByHand) {
  SetClockStepped(true);
  EXPECT_TRUE(ClockStepped());
  const std::int64_t t = ClockNowUs();
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(ClockNowUs(), t);
  EXPECT_LE(RealWaitSlice(t + 1000000), 1ms);
  AdvanceClock(5000);
  EXPECT_EQ(ClockNowUs(), t + 5000);
  EXPECT_EQ(GetTickCount(), static_cast<std::uint32_t>((t + 5000) / 1000));
  SetClockStepped(false);
  const std::int64_t after = ClockNowUs();
  EXPECT_GE(after, t + 5000);
  EXPECT_LT(after, t + 5000 + 20000);
}

TEST_F(Clock, RealWaitSliceIsTheRealEquivalentCapped) {
  SetClockSpeed(10.0);
  const std::int64_t now = ClockNowUs();
  EXPECT_LE(RealWaitSlice(now + 5000), 500us);
  EXPECT_GT(RealWaitSlice(now + 5000), 300us);
  EXPECT_LE(RealWaitSlice(now + 100000000), 20ms);
  EXPECT_EQ(RealWaitSlice(now - 1), 0us);
}

TEST_F(Clock, SleepersWakeOnlyWhenTheSteppedClockReachesTheirDeadline) {
  SetClockStepped(true);
  const std::int64_t t = ClockNowUs();
  std::atomic<bool> woke{false};
  std::thread sleeper([&] {
    SleepUntilUs(t + 100000);
    woke = true;
  });
  std::atomic<bool> slept{false};
  std::thread tickSleeper([&] {
    Sleep(30);
    slept = true;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(woke);
  EXPECT_FALSE(slept);
  AdvanceClock(50000);
  EXPECT_TRUE(RealWait([&] { return slept.load(); }));
  std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(woke);
  AdvanceClock(50000);
  EXPECT_TRUE(RealWait([&] { return woke.load(); }));
  sleeper.join();
  tickSleeper.join();
}

TEST_F(Clock, EventWaitTimesOutInClockTime) {
  SetClockStepped(true);
  Event event;
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = event.Wait(100) ? 1 : 0; });
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(result, -1);  // 30 ms of real time, no clock time
  AdvanceClock(99000);
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(result, -1);
  AdvanceClock(1000);
  EXPECT_TRUE(RealWait([&] { return result.load() != -1; }));
  EXPECT_EQ(result, 0);
  waiter.join();

  // Signalled before the deadline: true.
  result = -1;
  std::thread second([&] { result = event.Wait(100) ? 1 : 0; });
  std::this_thread::sleep_for(5ms);
  event.Set();
  EXPECT_TRUE(RealWait([&] { return result.load() != -1; }));
  EXPECT_EQ(result, 1);
  second.join();
  EXPECT_TRUE(event.Wait(0));
}

TEST_F(Clock, MutexLockTimesOutInClockTime) {
  SetClockStepped(true);
  RecursiveMutex mutex;
  mutex.Lock();
  EXPECT_TRUE(mutex.Lock(0));  // the holder takes it again
  mutex.Unlock();
  std::atomic<int> result{-1};
  std::thread other([&] {
    const bool got = mutex.Lock(50);
    if (got) mutex.Unlock();
    result = got ? 1 : 0;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(result, -1);
  AdvanceClock(50000);
  EXPECT_TRUE(RealWait([&] { return result.load() != -1; }));
  EXPECT_EQ(result, 0);
  other.join();

  result = -1;
  std::thread third([&] {
    const bool got = mutex.Lock(50);
    if (got) mutex.Unlock();
    result = got ? 1 : 0;
  });
  std::this_thread::sleep_for(5ms);
  mutex.Unlock();
  EXPECT_TRUE(RealWait([&] { return result.load() != -1; }));
  EXPECT_EQ(result, 1);
  third.join();
}

TEST_F(Clock, WaitUntilClockUsNoticesASpeedChange) {
  std::mutex m;
  std::condition_variable cv;
  const std::int64_t deadline = ClockNowUs() + 10000000;  // 10 s of clock time
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    std::unique_lock<std::mutex> lock(m);
    WaitUntilClockUs(lock, cv, deadline, [] { return false; });
    done = true;
  });
  std::this_thread::sleep_for(10ms);
  SetClockSpeed(1000.0);  // the rest passes in about 10 ms
  EXPECT_TRUE(RealWait([&] { return done.load(); }, 2000ms));
  waiter.join();
  EXPECT_GE(ClockNowUs(), deadline);
}
