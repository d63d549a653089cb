#include "decoder/coefficient_values.h"

#include <algorithm>
#include <mutex>

#include "decoder/vlc_tables.h"

namespace mivora::decoder {
namespace {

constexpr int kEntries = 1 << kSignedHeadBits;

// Built on first use rather than by the compiler: 62 tables of 8 KiB would be half a megabyte of
// program, and a stream uses a few quantisers. Untouched tables cost no memory.
ValuedCoefficientEntry entries[32][2][kEntries];
std::mutex building;

void Build(ValuedCoefficientEntry* out, int q, bool intra) {
  const SignedCoefficientEntry* in = intra ? Tables().intraSigned : Tables().interSigned;
  const int c = (q & 1) ? q : q - 1;
  for (int i = 0; i < kEntries; ++i) {
    const SignedCoefficientEntry& e = in[i];
    if (!e.length) {
      out[i] = {0, 0, 0};
      continue;
    }
    const int magnitude = (e.levelSign >> 1) * 2 * q + c;
    out[i] = {e.length, e.runLast,
              static_cast<std::int16_t>((e.levelSign & 1) ? -magnitude : magnitude)};
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
