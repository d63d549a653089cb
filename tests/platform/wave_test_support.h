// Shared by the wave tests: a recording completion function and real-time waits (the platform
// clock may be stepped and stand still).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/wave_out.h"

namespace wave_test {

using namespace mivora::platform;
using namespace std::chrono_literals;

struct Done {
  std::uint32_t message;
  WaveHeader* header;
  std::int64_t clockUs;
  std::uint32_t flags;
  std::thread::id thread;
};

struct Recorder {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Done> calls;
  // Optional: called on the completion thread after recording.
  void (*after)(Recorder*, WaveOutHandle, WaveHeader*) = nullptr;

  static void Callback(WaveOutHandle device, std::uint32_t message, std::uintptr_t instance,
                       WaveHeader* header, std::uintptr_t) {
    auto* self = reinterpret_cast<Recorder*>(instance);
    // Nothing of the recorder is touched after the lock is released, so a test may end (and the
    // recorder go) as soon as it has seen the last call, even one from a detached thread.
    auto* after = self->after;
    {
      std::lock_guard<std::mutex> hold(self->mutex);
      self->calls.push_back(Done{message, header, ClockNowUs(), header ? header->flags : 0,
                                 std::this_thread::get_id()});
      self->changed.notify_all();
    }
    if (after != nullptr && message == kWaveDoneMessage) after(self, device, header);
  }

  std::size_t DoneCount() {
    std::lock_guard<std::mutex> hold(mutex);
    std::size_t n = 0;
    for (const Done& d : calls) n += d.message == kWaveDoneMessage;
    return n;
  }
  std::vector<Done> DoneCalls() {
    std::lock_guard<std::mutex> hold(mutex);
    std::vector<Done> out;
    for (const Done& d : calls)
      if (d.message == kWaveDoneMessage) out.push_back(d);
    return out;
  }
  std::vector<Done> All() {
    std::lock_guard<std::mutex> hold(mutex);
    return calls;
  }
  // Real-time wait for at least n done messages.
  bool WaitDone(std::size_t n, std::chrono::milliseconds limit = 5000ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, limit, [&] {
      std::size_t k = 0;
      for (const Done& d : calls) k += d.message == kWaveDoneMessage;
      return k >= n;
    });
  }
};

inline WaveFormat Format(std::uint32_t rate = 48000, std::uint16_t channels = 2) {
  WaveFormat f;
  f.formatTag = 1;
  f.channels = channels;
  f.samplesPerSecond = rate;
  f.blockAlign = static_cast<std::uint16_t>(channels * 2);
  f.averageBytesPerSecond = rate * f.blockAlign;
  f.bitsPerSample = 16;
  return f;
}

// A block of PCM with its header; samples follow a pattern that tells block and position apart.
struct Block {
  std::vector<std::uint8_t> bytes;
  WaveHeader header;
  explicit Block(std::size_t size, int seed = 1) : bytes(size) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
      const std::int16_t s =
          static_cast<std::int16_t>((seed * 7919 + static_cast<int>(i) * 13) % 30000 - 15000);
      bytes[i] = static_cast<std::uint8_t>(s);
      bytes[i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8);
    }
    header.data = bytes.data();
    header.bufferLength = static_cast<std::uint32_t>(size);
    header.bytesRecorded = header.bufferLength;
  }
};

inline std::uint32_t PrepareAndWrite(WaveOutHandle device, WaveHeader* header) {
  const std::uint32_t r = WaveOutPrepareHeader(device, header, sizeof(WaveHeader));
  if (r != kWaveNoError) return r;
  return WaveOutWrite(device, header, sizeof(WaveHeader));
}

// Real-time wait until done() holds.
template <typename Fn>
bool RealWait(Fn done, std::chrono::milliseconds limit = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

inline std::uint64_t Position(WaveOutHandle device) {
  std::uint64_t samples = 0;
  WaveOutGetPositionSamples(device, &samples);
  return samples;
}

}  // namespace wave_test
