#include "platform/sync.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace mivora::platform;

TEST(Sync, NamedEventsAreSharedByNameAndStaySignalledUntilReset) {
  auto a = CreateNamedEvent(u"eventTestShared", false);
  auto b = CreateNamedEvent(u"eventTestShared", true);  // existing: initial state ignored
  EXPECT_EQ(a, b);
  EXPECT_FALSE(b->Wait(0));
  a->Set();
  EXPECT_TRUE(b->Wait(0));
  EXPECT_TRUE(b->Wait(10));  // manual reset: still set
  b->Reset();
  EXPECT_FALSE(a->Wait(20));
  EXPECT_NE(CreateNamedEvent(u"", false), CreateNamedEvent(u"", false));
}

TEST(Sync, EventWakesAWaitingThread) {
  auto event = CreateNamedEvent(u"eventTestWake", false);
  std::atomic<bool> woke{false};
  Thread t = Thread::Start([&] { woke = event->Wait(5000); });
  Sleep(20);
  event->Set();
  t.Join();
  EXPECT_TRUE(woke);
}

TEST(Sync, MutexesMayBeTakenAgainByTheirHolderButNotByOthers) {
  auto m = CreateNamedMutex(u"eventTestMutex");
  EXPECT_EQ(m, CreateNamedMutex(u"eventTestMutex"));
  m->Lock();
  EXPECT_TRUE(m->Lock(0));
  bool otherGotIt = true;
  Thread t = Thread::Start([&] { otherGotIt = m->Lock(30); });
  t.Join();
  EXPECT_FALSE(otherGotIt);
  m->Unlock();
  m->Unlock();
  Thread t2 = Thread::Start([&] {
    otherGotIt = m->Lock(1000);
    if (otherGotIt) m->Unlock();
  });
  t2.Join();
  EXPECT_TRUE(otherGotIt);
}

TEST(Sync, TickCounterAdvancesWithSleepAndThreadIdsDiffer) {
  const std::uint32_t start = GetTickCount();
  Sleep(30);
  EXPECT_GE(GetTickCount() - start, 25u);
  std::uint32_t other = 0;
  Thread t = Thread::Start([&] { other = CurrentThreadId(); });
  t.Join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, CurrentThreadId());
}
