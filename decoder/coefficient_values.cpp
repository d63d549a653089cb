#include "decoder/coefficient_values.h"

#include <algorithm>
#include <mutex>

#include "decoder/vlc_tables.h"

namespace mivora::decoder {
namespace {

constexpr int kEntries = kValuedLongBase;
constexpr int kLongEntries = 1 << kLongCodeBits;
constexpr int kEscapeEntries = 1 << kEscapeIndexBits;
constexpr int kLongWindow = kLongCodeZeros + kLongCodeBits;
static_assert(kLongWindow == kCoefficientBits + 1, "a long code and its sign fill the window");

// Built on first use rather than by the compiler: 62 tables of 18 KiB would be over a megabyte of
// program, and a stream uses a few quantisers. Untouched tables cost no memory.
ValuedCoefficientEntry entries[32][2][kValuedEntries];
std::mutex building;

void Build(ValuedCoefficientEntry* out, int q, bool intra) {
  const SignedCoefficientEntry* in = intra ? Tables().intraSigned : Tables().interSigned;
  // Quantiser 0: the level itself.
  const int m = q ? 2 * q : 1;
  const int c = q == 0 ? 0 : (q & 1) ? q : q - 1;
  const auto value = [&](const SignedCoefficientEntry& e) {
    const int magnitude = (e.levelSign >> 1) * m + c;
    return static_cast<std::int16_t>((e.levelSign & 1) ? -magnitude : magnitude);
  };
  for (int i = 0; i < kEntries; ++i) {
    const SignedCoefficientEntry& e = in[i];
    if (!e.length) {
      out[i] = {0, 0, 0, 0, 0};
      continue;
    }
    const auto step = static_cast<std::uint8_t>(1 + e.runLast);
    out[i] = {e.length, step, step, value(e), value(e)};
    if (e.runLast >= kCoefficientLastRun) continue;  // the block ends with the first
    // The bits after the first code, zeros after the eleven known ones: a code found there that
    // ends within the known bits is the same whatever follows them.
    const SignedCoefficientEntry& second = in[(i << e.length) & (kEntries - 1)];
    if (!second.length || e.length + second.length > kSignedHeadBits) continue;
    out[i] = {static_cast<std::uint8_t>(e.length + second.length), step,
              static_cast<std::uint16_t>(step + 1 + second.runLast), value(e), value(second)};
  }
  // The long codes, from the full table: the window's first twelve bits index it.
  const CoefficientEntry* full = intra ? Tables().intra : Tables().inter;
  for (int j = 0; j < kLongEntries; ++j) {
    const CoefficientEntry& e = full[j >> 1];
    ValuedCoefficientEntry& o = out[kEntries + j];
    if (!e.length || (e.flags & kCoefficientSpecial)) {
      o = {0, 0, 0, 0, 0};
      continue;
    }
    const int sign = (j >> (kLongWindow - 1 - e.length)) & 1;
    const auto length = static_cast<std::uint8_t>(e.length + 1);
    const auto v = value({length, e.runLast, static_cast<std::uint8_t>(2 * e.level + sign), 0});
    const auto step = static_cast<std::uint8_t>(1 + e.runLast);
    o = {length, step, step, v, v};
  }
  // The escape forms that go on from the table: the code after the form's bits, found with its
  // sign in the first-level codes when it is short enough.
  for (int j = 0; j < kEscapeEntries; ++j) {
    ValuedCoefficientEntry& o = out[kValuedEscapeBase + j];
    o = {0, 0, 0, 0, 0};
    const int formBits = (j >> (kEscapeIndexBits - 1)) == 0   ? 1
                         : (j >> (kEscapeIndexBits - 2)) == 2 ? 2
                                                              : 0;
    if (!formBits) continue;  // fixed length
    const int rest = kEscapeIndexBits - formBits;
    const SignedCoefficientEntry& e = in[(j << (kSignedHeadBits - rest)) & (kEntries - 1)];
    if (!e.length || e.length > rest) continue;
    const int last = e.runLast / kCoefficientLastRun;
    int run = e.runLast % kCoefficientLastRun, level = e.levelSign >> 1;
    if (formBits == 2) {
      run += MaxRun(intra, last, level) + 1;
    } else {
      level += MaxLevel(intra, last, run);
    }
    const int step = 1 + run + kCoefficientLastRun * last;
    if (run > 63 || step > 255) continue;  // left to the general path
    const auto v = value({0, 0, static_cast<std::uint8_t>(2 * level + (e.levelSign & 1)), 0});
    o = {static_cast<std::uint8_t>(kEscapeLength + formBits + e.length),
         static_cast<std::uint8_t>(step), static_cast<std::uint16_t>(step), v, v};
  }
}

}  // namespace

namespace detail {

std::atomic<const ValuedCoefficientEntry*> valuedTables[32][2];

const ValuedCoefficientEntry* BuildValuedCoefficientTable(int quantiser, bool intra) {
  const int q = std::clamp(quantiser, 0, 31);
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
