#include "decoder/coefficient_values.h"

#include <algorithm>
#include <mutex>

#include "decoder/vlc_tables.h"

namespace mivora::decoder {
namespace {

constexpr int kEntries = 1 << kSignedHeadBits;

// Built on first use rather than by the compiler: 62 tables of 16 KiB would be a megabyte of
// program, and a stream uses a few quantisers. Untouched tables cost no memory.
ValuedCoefficientEntry entries[32][2][kEntries];
std::mutex building;

void Build(ValuedCoefficientEntry* out, int q, bool intra) {
  const SignedCoefficientEntry* in = intra ? Tables().intraSigned : Tables().interSigned;
  const int c = (q & 1) ? q : q - 1;
  const auto value = [&](const SignedCoefficientEntry& e) {
    const int magnitude = (e.levelSign >> 1) * 2 * q + c;
    return static_cast<std::int16_t>((e.levelSign & 1) ? -magnitude : magnitude);
  };
  for (int i = 0; i < kEntries; ++i) {
    const SignedCoefficientEntry& e = in[i];
    if (!e.length) {
      out[i] = {0, 0, 0, 0, 0, 0};
      continue;
    }
    out[i] = {e.length, e.runLast, 0, e.length, value(e), value(e)};
    if (e.runLast >= kCoefficientLastRun) continue;  // the block ends with the first
    // The bits after the first code, zeros after the eleven known ones: a code found there that
    // ends within the known bits is the same whatever follows them.
    const SignedCoefficientEntry& second = in[(i << e.length) & (kEntries - 1)];
    if (!second.length || e.length + second.length > kSignedHeadBits) continue;
    out[i] = {static_cast<std::uint8_t>(e.length + second.length),
              e.runLast,
              static_cast<std::uint8_t>(1 + second.runLast),
              e.length,
              value(e),
              value(second)};
  }
}

}  // namespace

namespace detail {

std::atomic<const ValuedCoefficientEntry*> valuedTables[32][2];

const ValuedCoefficientEntry* BuildValuedCoefficientTable(int quantiser, bool intra) {
  const int q = std::clamp(quantiser, 1, 31);
  // The decoder is not reentrant, but a test or a tool may run several in threads; the lock
  // keeps a table from being read while another thread writes it.
  std::lock_guard<std::mutex> lock(building);
  std::atomic<const ValuedCoefficientEntry*>& slot = valuedTables[q][intra];
  if (!slot.load(std::memory_order_relaxed)) {
    Build(entries[q][intra], q, intra);
    slot.store(entries[q][intra], std::memory_order_release);
  }
  return entries[q][intra];
}

}  // namespace detail

}  // namespace mivora::decoder
