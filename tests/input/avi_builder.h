// Builds AVI files byte by byte for the reader's tests: header list, "movi" chunks and an
// "idx1" index whose offsets count from the "movi" list type, as real files do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivora::test {

using Bytes = std::vector<std::uint8_t>;

inline void PutU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutU16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutId(Bytes& out, const std::string& id) {
  for (int i = 0; i < 4; ++i) out.push_back(i < int(id.size()) ? std::uint8_t(id[i]) : ' ');
}
// A chunk with its header and, for odd sizes, the pad byte.
inline void PutChunk(Bytes& out, const std::string& id, const Bytes& body) {
  PutId(out, id);
  PutU32(out, static_cast<std::uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}
inline void PutList(Bytes& out, const std::string& type, const Bytes& contents) {
  Bytes body;
  PutId(body, type);
  body.insert(body.end(), contents.begin(), contents.end());
  PutChunk(out, "LIST", body);
}

// Deterministic content: byte k of a stream seeded with `seed`.
inline std::uint8_t PatternByte(std::uint32_t seed, std::uint64_t k) {
  std::uint64_t x = (k + 1) * 0x9E3779B97F4A7C15ull ^ (std::uint64_t(seed) << 32);
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  return static_cast<std::uint8_t>(x >> 56);
}
inline Bytes Pattern(std::uint32_t seed, std::uint64_t from, std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = PatternByte(seed, from + i);
  return b;
}

class AviBuilder {
 public:
  AviBuilder& Video(const std::string& fourcc, std::uint32_t scale, std::uint32_t rate,
                    std::uint32_t length, std::int32_t width = 320, std::int32_t height = 240) {
    Bytes strh;
    PutId(strh, "vids");
    PutId(strh, fourcc);
    Pad(strh, 12);  // flags, priority, language, initial frames
    PutU32(strh, scale);
    PutU32(strh, rate);
    PutU32(strh, 0);
    PutU32(strh, length);
    Pad(strh, 20);
    Bytes strf;
    PutU32(strf, 40);
    PutU32(strf, static_cast<std::uint32_t>(width));
    PutU32(strf, static_cast<std::uint32_t>(height));
    Pad(strf, 28);
    Stream(strh, strf);
    return *this;
  }
  AviBuilder& Audio(std::uint16_t formatTag, std::uint32_t length) {
    Bytes strh;
    PutId(strh, "auds");
    Pad(strh, 16);
    PutU32(strh, 1);
    PutU32(strh, 44100);
    PutU32(strh, 0);
    PutU32(strh, length);
    Pad(strh, 20);
    Bytes strf;
    PutU16(strf, formatTag);
    Pad(strf, 16);
    Stream(strh, strf);
    return *this;
  }
  // Anything else inside the header list (e.g. a chunk between "strh" and "strf").
  AviBuilder& HeaderBytes(const Bytes& raw) {
    hdrl_.insert(hdrl_.end(), raw.begin(), raw.end());
    return *this;
  }
  // A top-level chunk placed before the "movi" list.
  AviBuilder& TopChunk(const std::string& id, const Bytes& body) {
    PutChunk(top_, id, body);
    return *this;
  }
  // A data chunk in "movi", indexed with these flags unless indexed is false.
  AviBuilder& Chunk(const std::string& id, const Bytes& data, std::uint32_t flags = 0x10,
                    bool indexed = true) {
    const std::uint32_t offset = static_cast<std::uint32_t>(4 + movi_.size());
    PutChunk(movi_, id, data);
    if (indexed) Entry(id, flags, offset, static_cast<std::uint32_t>(data.size()));
    return *this;
  }
  AviBuilder& Entry(const std::string& id, std::uint32_t flags, std::uint32_t offset,
                    std::uint32_t size) {
    PutId(index_, id);
    PutU32(index_, flags);
    PutU32(index_, offset);
    PutU32(index_, size);
    return *this;
  }
  AviBuilder& NoIndex() {
    withIndex_ = false;
    return *this;
  }
  // Extra bytes at the end of the idx1 body, declared in its size (not a whole entry).
  AviBuilder& IndexTail(std::size_t bytes) {
    indexTail_ = bytes;
    return *this;
  }

  Bytes Build() const {
    Bytes body;
    PutId(body, "AVI ");
    Bytes hdrl;
    PutChunk(hdrl, "avih", Bytes(56, 0));
    hdrl.insert(hdrl.end(), hdrl_.begin(), hdrl_.end());
    PutList(body, "hdrl", hdrl);
    body.insert(body.end(), top_.begin(), top_.end());
    PutList(body, "movi", movi_);
    if (withIndex_) {
      Bytes index = index_;
      index.insert(index.end(), indexTail_, 0);
      PutChunk(body, "idx1", index);
    }
    Bytes file;
    PutChunk(file, "RIFF", body);
    return file;
  }

 private:
  static void Pad(Bytes& b, std::size_t n) { b.insert(b.end(), n, 0); }
  void Stream(const Bytes& strh, const Bytes& strf) {
    Bytes strl;
    PutChunk(strl, "strh", strh);
    PutChunk(strl, "strf", strf);
    PutList(hdrl_, "strl", strl);
  }

  Bytes hdrl_;
  Bytes top_;
  Bytes movi_;
  Bytes index_;
  bool withIndex_ = true;
  std::size_t indexTail_ = 0;
};

}  // namespace mivora::test
