// Data-partitioned I and P pictures whose texture parts use the reversible coefficient codes, which
// ffmpeg's encoder does not write: the project's stream writer makes them, with random macroblocks
// whose blocks go through every code word of both tables and through escapes, and mivora-decode's
// frames must equal ffmpeg's decoding of the same bytes exactly. A wrong table entry would pass a
// writer and reader sharing it, but not ffmpeg.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decoder/reversible_vlc.h"
#include "tests/conformance/yuv_compare.h"
#include "tests/decoder/stream_writer.h"

namespace mivora::conformance {
namespace {

using decoder::ReversibleCode;
using decoder::testing::BitWriter;

constexpr int kWidth = 176, kHeight = 144, kMbWidth = kWidth / 16;
constexpr int kMacroblocks = kMbWidth * (kHeight / 16);

const char* const kMcbpcI[2][4] = {{"1", "001", "010", "011"},
                                   {"0001", "000001", "000010", "000011"}};
// P pictures, types 0 (inter), 1 (inter with quantiser step), 3 and 4 (intra).
const char* const kMcbpcP[5][4] = {{"1", "0011", "0010", "000101"},
                                   {"011", "0000111", "0000110", "000000101"},
                                   {},
                                   {"00011", "00000100", "00000011", "0000011"},
                                   {"000100", "000000100", "000000011", "000000010"}};
const char* const kCbpy[16] = {"0011",   "00101", "00100", "1001",   "00011", "0111",
                               "000010", "1011",  "00010", "000011", "0101",  "1010",
                               "0100",   "1000",  "0110",  "11"};
const char* const kDcSize[2][4] = {{"11", "10", "01", "001"}, {"011", "11", "10", "010"}};
const char* const kMotion[7] = {"00011", "0011", "011", "1", "010", "0010", "00010"};  // -3..3

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string Temp(const std::string& name) {
  return ::testing::TempDir() + "mivora_rvlc_" + std::to_string(::getpid()) + "_" + name;
}

// Draws the code words of one table in shuffled rounds, so every one comes up, and writes blocks.
class Coefficients {
 public:
  Coefficients(bool intra, std::mt19937& rng) : rng_(rng) {
    for (const ReversibleCode& c : decoder::ReversibleCodes(intra))
      (c.last ? ends_ : runs_).push_back(&c);
  }

  // One block's codes from scan position `pos`; escapePlace gets the bit position of an escape's
  // first marker when the block has one.
  void WriteBlock(BitWriter& w, int pos, int& escapePlace) {
    const int events = static_cast<int>(rng_() % 5);
    for (int i = 0; i < events; ++i) {
      if (rng_() % 8 == 0) {
        const int run = static_cast<int>(rng_() % static_cast<unsigned>(64 - pos)) / 2;
        if (pos + run >= 63) break;
        escapePlace = WriteEscape(w, 0, run);
        pos += run + 1;
        continue;
      }
      const ReversibleCode* c = Next(runs_, runsAt_);
      if (pos + c->run >= 63) break;
      Write(w, *c);
      ++runsAt_;
      pos += c->run + 1;
    }
    const ReversibleCode* c = Next(ends_, endsAt_);
    if (pos + c->run > 63 || rng_() % 8 == 0) {
      escapePlace = WriteEscape(w, 1, static_cast<int>(rng_() % static_cast<unsigned>(64 - pos)));
    } else {
      Write(w, *c);
      ++endsAt_;
    }
  }

  std::size_t Used() const { return used_.size(); }
  std::size_t Escapes() const { return escapes_; }

 private:
  const ReversibleCode* Next(std::vector<const ReversibleCode*>& deck, std::size_t& at) {
    if (at == deck.size()) {
      std::shuffle(deck.begin(), deck.end(), rng_);
      at = 0;
    }
    return deck[at];
  }
  void Write(BitWriter& w, const ReversibleCode& c) {
    w.Code(c.bits).Put(rng_() % 2, 1);
    used_.insert(&c);
  }
  // Levels up to 24: values of 2 * 14 * 24 + 14 at most, so that no transform overflows.
  int WriteEscape(BitWriter& w, int last, int run) {
    ++escapes_;
    w.Code(decoder::kReversibleEscape).Put(1, 1).Put(last, 1).Put(run, 6);
    const int marker = w.Count();
    w.Put(1, 1).Put(1 + rng_() % 24, 11).Put(1, 1);
    w.Code(decoder::kReversibleEscape).Put(rng_() % 2, 1);
    return marker;
  }

  std::mt19937& rng_;
  std::vector<const ReversibleCode*> runs_, ends_;
  std::size_t runsAt_ = 0, endsAt_ = 0, escapes_ = 0;
  std::set<const ReversibleCode*> used_;
};

struct Macroblock {
  int type = 3;  // -1: not coded (P pictures)
  int cbpc = 0, cbpy = 0, step = 0, acPredicted = 0;
  int dc[6] = {};
  int motion[2] = {};
};

// Where a packet's texture part lies in the stream.
struct Texture {
  int picture, first, count, begin, end;
};

struct Writer {
  std::mt19937 rng;
  Coefficients intra, inter;
  BitWriter w;
  std::vector<Texture> textures;
  // The bit position of an escape's marker and the macroblocks of its packet, in the last picture.
  int escapeMarker = -1, escapePicture = -1, damagedFirst = 0, damagedCount = 0;
  int picture = 0;

  explicit Writer(unsigned seed) : rng(seed), intra(true, rng), inter(false, rng) {}

  void WriteDc(int dc, bool luminance) {
    int size = 0;
    for (int a = std::abs(dc); a; a >>= 1) ++size;
    w.Code(kDcSize[luminance][size]);
    if (size) w.Put(static_cast<std::uint32_t>(dc > 0 ? dc : dc + (1 << size) - 1), size);
  }

  // One packet from macroblock `first`; q: the packet's quantiser, kept in 10..14 by the steps.
  void WritePacket(bool intraPicture, int first, int count, int q) {
    if (first) {
      w.Stuff()
          .Put(1, 17)
          .Put(static_cast<std::uint32_t>(first), 7)
          .Put(static_cast<std::uint32_t>(q), 5)
          .Put(0, 1);
    }
    std::vector<Macroblock> mbs(static_cast<std::size_t>(count));
    for (Macroblock& m : mbs) {
      const unsigned kind = rng() % 10;
      m.type = intraPicture ? 3 + (kind < 3)
               : kind < 2   ? -1
               : kind < 6   ? 0
               : kind < 8   ? 1
                            : 3 + kind % 2;
      if (m.type < 0) continue;
      m.cbpc = static_cast<int>(rng() % 4);
      m.cbpy = static_cast<int>(rng() % 16);
      // No AC prediction: with it this decoder's intra values part from ffmpeg's by a quantiser
      // step now and then, whatever the codes (it adds inverse-quantised neighbours' values).
      m.acPredicted = 0;
      if (m.type == 1 || m.type == 4) {
        static const int kSteps[4] = {-1, -2, 1, 2};
        do m.step = static_cast<int>(rng() % 4);
        while (q + kSteps[m.step] < 10 || q + kSteps[m.step] > 14);
        q += kSteps[m.step];
      }
      for (int& d : m.dc) d = static_cast<int>(rng() % 5) - 2;
      for (int& v : m.motion) v = static_cast<int>(rng() % 7);
    }
    const bool isIntra[5] = {false, false, false, true, true};
    for (const Macroblock& m : mbs) {
      if (intraPicture) {
        w.Code(kMcbpcI[m.type - 3][m.cbpc]);
        if (m.type == 4) w.Put(static_cast<std::uint32_t>(m.step), 2);
        for (int i = 0; i < 6; ++i) WriteDc(m.dc[i], i < 4);
        continue;
      }
      w.Put(m.type < 0, 1);
      if (m.type < 0) continue;
      w.Code(kMcbpcP[m.type][m.cbpc]);
      if (!isIntra[m.type]) w.Code(kMotion[m.motion[0]]).Code(kMotion[m.motion[1]]);
    }
    w.Put(intraPicture ? 0x6B001 : 0x1F001, intraPicture ? 19 : 17);
    for (const Macroblock& m : mbs) {
      if (m.type < 0) continue;
      const bool intraMb = isIntra[m.type];
      if (intraMb) w.Put(static_cast<std::uint32_t>(m.acPredicted), 1);
      w.Code(kCbpy[intraMb ? m.cbpy : 15 - m.cbpy]);
      if (intraPicture) continue;
      if (m.type == 1 || m.type == 4) w.Put(static_cast<std::uint32_t>(m.step), 2);
      if (intraMb)
        for (int i = 0; i < 6; ++i) WriteDc(m.dc[i], i < 4);
    }
    int marker = -1;
    const int textureBegin = w.Count();
    for (const Macroblock& m : mbs) {
      if (m.type < 0) continue;
      const int cbp = m.cbpy << 2 | m.cbpc;
      for (int i = 0; i < 6; ++i) {
        if (!((cbp >> (5 - i)) & 1)) continue;
        if (isIntra[m.type]) {
          intra.WriteBlock(w, 1, marker);
        } else {
          inter.WriteBlock(w, 0, marker);
        }
      }
    }
    textures.push_back({picture, first, count, textureBegin, w.Count()});
    if (marker >= 0) {
      escapeMarker = marker;
      escapePicture = picture;
      damagedFirst = first;
      damagedCount = count;
    }
  }

  void WritePicture(bool intraPicture) {
    // Picture header: one time step (of 25) per picture, rounding 0, DCs apart, fcode 1.
    w.StartCode(0xB6)
        .Put(intraPicture ? 0 : 1, 2)
        .Code("0 1")
        .Put(static_cast<std::uint32_t>(picture), 5);
    w.Code("1 1");
    if (!intraPicture) w.Put(0, 1);
    w.Put(0, 3).Put(4, 5);
    if (!intraPicture) w.Put(1, 3);
    for (int first = 0; first < kMacroblocks;) {
      const int count = std::min(kMacroblocks - first, 1 + static_cast<int>(rng() % 12));
      WritePacket(intraPicture, first, count, 10 + static_cast<int>(rng() % 5));
      first += count;
    }
    w.Stuff();
    ++picture;
  }
};

// An I picture, then P pictures.
std::vector<std::uint8_t> MakeStream(Writer& s, int pictures, int quantType = 0) {
  s.w.StartCode(0x00).StartCode(0x20);
  decoder::testing::Layer l;
  l.quantType = quantType;
  l.resyncDisable = 0;
  l.partitioned = 1;
  l.reversible = 1;
  decoder::testing::WriteLayer(s.w, l);
  s.w.Stuff();
  for (int i = 0; i < pictures; ++i) s.WritePicture(i == 0);
  return s.w.Bytes();
}

// The stream in an AVI, as mivora-decode reads it.
std::string Wrap(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  const std::string m4v = Temp(name + ".m4v"), avi = Temp(name + ".avi");
  std::ofstream(m4v, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const int exit = RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y -r 25 -f m4v -i '" +
                              m4v + "' -c copy -vtag DIVX '" + avi + "'");
  std::remove(m4v.c_str());
  return exit == 0 ? avi : "";
}

struct Decoded {
  int exit = -1;
  YuvFrames frames;
};

Decoded Ours(const std::string& avi, const std::string& options = "") {
  const std::string y4m = avi + ".y4m";
  Decoded d;
  d.exit = RunCommand("'" + std::string(MIVORA_DECODE) + "' " + options + " --y4m '" + y4m + "' '" +
                      avi + "' >/dev/null 2>&1");
  std::string error;
  EXPECT_TRUE(ReadY4m(y4m, d.frames, error)) << error;
  std::remove(y4m.c_str());
  return d;
}

void ExpectMatchesFfmpeg(unsigned seed, int quantType) {
  Writer s(seed);
  const int pictures = 6;
  const std::string avi = Wrap(MakeStream(s, pictures, quantType), "all");
  ASSERT_FALSE(avi.empty());
  // Every code word of both tables, and escapes, went into the stream.
  EXPECT_EQ(decoder::ReversibleCodes(true).size(), s.intra.Used());
  EXPECT_EQ(decoder::ReversibleCodes(false).size(), s.inter.Used());
  EXPECT_GT(s.intra.Escapes(), 20u);
  EXPECT_GT(s.inter.Escapes(), 20u);

  const Decoded ours = Ours(avi);
  const std::string yuv = Temp("all.yuv");
  const int ffmpegExit =
      RunCommand("ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1 -i '" + avi +
                 "' -f rawvideo -pix_fmt yuv420p '" + yuv + "'");
  YuvFrames theirs;
  std::string error;
  const bool read = ReadRawYuv420(yuv, kWidth, kHeight, theirs, error);
  std::remove(yuv.c_str());
  std::remove(avi.c_str());
  ASSERT_EQ(0, ours.exit);
  ASSERT_EQ(0, ffmpegExit);
  ASSERT_TRUE(read) << error;
  ASSERT_EQ(static_cast<std::size_t>(pictures), ours.frames.frames.size());
  ASSERT_EQ(ours.frames.frames.size(), theirs.frames.size());
  // The two inverse transforms round differently: samples part by 1, a few dozen by 2. A wrong
  // level changes a value by 2 * q (20 or more; with the matrices, weight * q / 8), which moves
  // a whole block's samples further and spreads to the pictures predicted from it; a wrong run or
  // last loses the packet's codes from there on.
  for (std::size_t i = 0; i < theirs.frames.size(); ++i) {
    const auto& a = ours.frames.frames[i];
    const auto& b = theirs.frames[i];
    ASSERT_EQ(a.size(), b.size());
    int worst = 0, twos = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
      const int d = std::abs(a[k] - b[k]);
      worst = std::max(worst, d);
      twos += d == 2;
    }
    EXPECT_LE(worst, 2) << "frame " << i << ", quantiser type " << quantType;
    EXPECT_LE(twos, 64) << "frame " << i << ", quantiser type " << quantType;
  }
}

TEST(ReversibleVlc, EveryCodeWordMatchesFfmpeg) {
  ExpectMatchesFfmpeg(7, 0);
}

// The levels as they stand, weighed by the default matrices afterwards.
TEST(ReversibleVlc, EveryCodeWordMatchesFfmpegWithMatrices) {
  ExpectMatchesFfmpeg(8, 1);
}

// The stream through mivora-decode.
Decoded DecodeBytes(const std::vector<std::uint8_t>& bytes, const std::string& options = "") {
  const std::string avi = Wrap(bytes, "stream");
  EXPECT_FALSE(avi.empty());
  Decoded d = Ours(avi, options);
  std::remove(avi.c_str());
  return d;
}

// Whether macroblock mb has the same samples in two frames.
bool SameMacroblock(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                    int mb) {
  const int mx = mb % kMbWidth, my = mb / kMbWidth;
  std::size_t plane = 0;
  for (const int size : {16, 8, 8}) {
    const int width = kWidth * size / 16;
    for (int r = 0; r < size; ++r)
      for (int c = 0; c < size; ++c) {
        const auto at = plane + static_cast<std::size_t>((size * my + r) * width + size * mx + c);
        if (a[at] != b[at]) return false;
      }
    plane += static_cast<std::size_t>(width * kHeight * size / 16);
  }
  return true;
}

// A broken escape marker in the last picture's texture part: every frame still decodes, the
// damage is reported, and only the macroblocks of that packet differ from the clean decode.
TEST(ReversibleVlc, DamagedTextureCostsOnlyItsPacket) {
  Writer s(11);
  const int pictures = 3;
  std::vector<std::uint8_t> bytes = MakeStream(s, pictures);
  ASSERT_EQ(pictures - 1, s.escapePicture);
  const Decoded a = DecodeBytes(bytes);
  bytes[static_cast<std::size_t>(s.escapeMarker / 8)] ^=
      static_cast<std::uint8_t>(0x80 >> (s.escapeMarker % 8));
  const Decoded b = DecodeBytes(bytes);
  EXPECT_EQ(0, a.exit);
  EXPECT_EQ(3, b.exit);
  ASSERT_EQ(static_cast<std::size_t>(pictures), a.frames.frames.size());
  ASSERT_EQ(a.frames.frames.size(), b.frames.frames.size());
  for (int i = 0; i + 1 < pictures; ++i)
    EXPECT_TRUE(a.frames.frames[static_cast<std::size_t>(i)] ==
                b.frames.frames[static_cast<std::size_t>(i)]);
  const auto& x = a.frames.frames.back();
  const auto& y = b.frames.frames.back();
  int changed = 0;
  for (int mb = 0; mb < kMacroblocks; ++mb) {
    const bool same = SameMacroblock(x, y, mb);
    const bool inPacket = mb >= s.damagedFirst && mb < s.damagedFirst + s.damagedCount;
    if (!inPacket) {
      EXPECT_TRUE(same) << "macroblock " << mb;
    }
    changed += !same;
  }
  EXPECT_GT(changed, 0);
}

// One flipped bit in the texture part of a packet of the last picture, in several copies, an I
// picture and then a P picture: read backward from the packet's end as well, more of the packet's
// macroblocks come out as in the clean decode than reading forward only, and none outside the
// packet changes either way.
TEST(ReversibleVlc, BackwardReadingKeepsMoreOfADamagedPacket) {
  for (const int pictures : {1, 3}) {
    Writer s(20 + static_cast<unsigned>(pictures));
    const std::vector<std::uint8_t> bytes = MakeStream(s, pictures);
    const Decoded clean = DecodeBytes(bytes);
    ASSERT_EQ(0, clean.exit);
    ASSERT_EQ(static_cast<std::size_t>(pictures), clean.frames.frames.size());
    std::vector<Texture> packets;
    for (const Texture& t : s.textures)
      if (t.picture == pictures - 1 && t.count >= 4) packets.push_back(t);
    std::mt19937 rng(3);
    int copies = 0, inPackets = 0, same[2] = {};  // [0] read both ways, [1] forward only
    double psnr[2] = {};
    for (int copy = 0; copy < 12; ++copy) {
      const Texture& t = packets[rng() % packets.size()];
      const int bit = t.begin + static_cast<int>(rng() % static_cast<unsigned>(t.end - t.begin));
      std::vector<std::uint8_t> damaged = bytes;
      damaged[static_cast<std::size_t>(bit / 8)] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
      const Decoded d[2] = {DecodeBytes(damaged), DecodeBytes(damaged, "--forward-texture-only")};
      EXPECT_EQ(d[0].exit, d[1].exit);
      if (d[0].exit != 3) continue;  // the flip read as other valid codes both ways
      ++copies;
      inPackets += t.count;
      for (int k = 0; k < 2; ++k) {
        const auto& frames = d[k].frames.frames;
        ASSERT_EQ(clean.frames.frames.size(), frames.size());
        EXPECT_TRUE(std::equal(frames.begin(), frames.end() - 1, clean.frames.frames.begin()));
        for (int mb = 0; mb < kMacroblocks; ++mb) {
          const bool kept = SameMacroblock(clean.frames.frames.back(), frames.back(), mb);
          if (mb >= t.first && mb < t.first + t.count) {
            same[k] += kept;
          } else {
            EXPECT_TRUE(kept) << "macroblock " << mb << ", bit " << bit;
          }
        }
        psnr[k] +=
            ComparePictures(d[k].frames, frames.size() - 1, clean.frames, frames.size() - 1).y;
      }
    }
    ASSERT_GE(copies, 6);
    std::printf(
        "%s picture, %d damaged copies: %d of %d packet macroblocks as clean read both ways, %d "
        "forward only; mean PSNR Y %.2f dB both ways, %.2f dB forward only\n",
        pictures == 1 ? "I" : "P", copies, same[0], inPackets, same[1], psnr[0] / copies,
        psnr[1] / copies);
    EXPECT_GT(same[0], same[1]);
    EXPECT_GT(psnr[0], psnr[1]);
  }
}

}  // namespace
}  // namespace mivora::conformance
