#include "modules/AudioDecoderCommon/audio_decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

#include "modules/AudioDecoderCommon/mpeg_header.h"

namespace mivora::audio {

namespace {

constexpr double kBandCentres[kEqualizerBands] = {31,   62,   125,  250,  500,
                                                  1000, 2000, 4000, 8000, 16000};
constexpr int kMaxGainDb = 12;
// Decoder calls one DecompressMp3 may make before it gives up on the input it has (each either
// yields a frame, asks for more input or reports a format change).
constexpr int kMaxDecodeAttempts = 256;

// Decoded PCM not yet handed out, with the stream position of the frame each piece came from.
class PcmQueue {
 public:
  std::size_t available() const { return data_.size() - read_; }
  void Clear() {
    data_.clear();
    pieces_.clear();
    read_ = 0;
  }
  void Append(const unsigned char* pcm, std::size_t bytes, std::int64_t position) {
    if (bytes == 0) return;
    if (read_ == data_.size()) Clear();
    const std::size_t start = data_.size();
    data_.insert(data_.end(), pcm, pcm + bytes);
    pieces_.push_back({start, data_.size(), position});
  }
  // Copies bytes out; returns the position of the last piece that gave bytes.
  std::int64_t Take(std::uint8_t* out, std::size_t bytes) {
    std::memcpy(out, data_.data() + read_, bytes);
    const std::size_t end = read_ + bytes;
    std::int64_t position = 0;
    while (!pieces_.empty() && pieces_.front().end <= end) {
      position = pieces_.front().position;
      pieces_.pop_front();
    }
    if (!pieces_.empty() && pieces_.front().start < end) position = pieces_.front().position;
    read_ = end;
    if (read_ == data_.size()) Clear();
    return position;
  }
  void Drop() { Clear(); }

 private:
  struct Piece {
    std::size_t start;
    std::size_t end;
    std::int64_t position;
  };
  std::vector<unsigned char> data_;
  std::deque<Piece> pieces_;
  std::size_t read_ = 0;
};

enum class Refill { kData, kNeedInput };

class Decoder {
 public:
  ~Decoder() { DropHandle(); }

  std::int32_t Init(std::uint8_t equalizerOn, const std::int8_t* bands) {
    equalizerOn_ = equalizerOn != 0;
    if (bands != nullptr) {
      for (int i = 0; i < kEqualizerBands; ++i) {
        bands_[i] = static_cast<std::int8_t>(std::clamp<int>(bands[i], -kMaxGainDb, kMaxGainDb));
      }
    }
    if (runActive_) {
      // Init again without Exit (the Equalizer dialog while playing): the run goes on, only the
      // equalizer changes, from the next frame on.
      ApplyEqualizer();
      return 1;
    }
    StartRun();
    return 1;
  }

  std::int32_t Exit() {
    DropHandle();
    queue_.Clear();
    runActive_ = false;
    return 1;
  }

  std::int32_t GetHeaderInfo(const std::uint8_t* data, std::int32_t length,
                             std::int32_t* sampleRate, std::int32_t* channels,
                             std::int32_t* bitRate) {
    const std::int32_t wanted = sampleRate != nullptr ? *sampleRate : 0;
    // The engine asks only before it decodes the stream from its start (and after Exit/Init):
    // decoding begins afresh, with the output format reported here.
    if (runActive_) StartRun();
    StreamStart start;
    if (data == nullptr || length < 4 || !FindStreamStart(data, length, &start)) {
      headerKnown_ = false;  // nothing to pin the output to
      return 0;
    }
    const FrameHeader& h = start.header;
    nativeRate_ = h.sampleRate;
    outChannels_ = h.channels;
    // mpg123's NtoM resampler takes rates up to 96 kHz and at most eight times the stream's.
    const bool resample = wanted != 0 && wanted != h.sampleRate && wanted >= 8000 &&
                          wanted <= 96000 && wanted <= 8 * h.sampleRate;
    outRate_ = resample ? wanted : h.sampleRate;
    headerKnown_ = true;
    if (sampleRate != nullptr) *sampleRate = outRate_;
    if (channels != nullptr) *channels = outChannels_;
    if (bitRate != nullptr) *bitRate = start.averageBitRate;
    return 1;
  }

  std::int32_t Decompress(const std::uint8_t* input, std::int32_t length, std::uint8_t* output,
                          std::int32_t room, std::int32_t* produced, std::int32_t* position) {
    if (produced != nullptr) *produced = 0;
    if (position != nullptr) *position = 0;
    if (output == nullptr || room <= 0 || length < 0 || produced == nullptr ||
        position == nullptr) {
      return -1;
    }
    if (!runActive_) StartRun();
    if (input != nullptr && length > 0) {
      if (!EnsureHandle()) return -1;
      if (mpg123_feed(handle_, input, static_cast<std::size_t>(length)) != MPG123_OK) {
        // Out of memory in mpg123: forget what it holds and go on with the next input.
        fed_ += length;
        RestartAfterError();
        return 1;
      }
      fed_ += length;
    }
    const std::size_t align = static_cast<std::size_t>(2 * std::max(1, currentChannels_));
    if (static_cast<std::size_t>(room) < align) return -1;
    std::size_t done = 0;
    std::int64_t last = 0;
    int attempts = 0;
    bool needInput = false;
    while (true) {
      const std::size_t free = static_cast<std::size_t>(room) - done;
      if (queue_.available() >= align) {
        const std::size_t take = std::min(free, queue_.available()) / align * align;
        if (take == 0) break;  // output full
        last = std::max(last, queue_.Take(output + done, take));
        done += take;
        continue;
      }
      queue_.Drop();  // less than one sample frame left: cannot be whole
      if (++attempts > kMaxDecodeAttempts || DecodeFrame() == Refill::kNeedInput) {
        needInput = true;
        break;
      }
    }
    *produced = static_cast<std::int32_t>(done);
    if (done > 0) {
      lastPosition_ = std::max({lastPosition_, last, std::int64_t{1}});
      *position = static_cast<std::int32_t>(
          std::min<std::int64_t>(lastPosition_, std::numeric_limits<std::int32_t>::max()));
    }
    if (needInput) return 1;
    // The output is full: say whether more is pending, decoding ahead when nothing is queued.
    while (queue_.available() == 0) {
      if (++attempts > kMaxDecodeAttempts || DecodeFrame() == Refill::kNeedInput) return 1;
    }
    return 0;
  }

  void ApplyEqualizer() {
    if (handle_ == nullptr) return;
    mpg123_reset_eq(handle_);
    if (!equalizerOn_) return;
    const auto gains = SubbandGains(bands_, equalizerRate_);
    for (int k = 0; k < kDecoderSubbands; ++k) {
      mpg123_eq(handle_, MPG123_LR, k, std::pow(10.0, gains[k] / 20.0));
    }
  }

 private:
  void StartRun() {
    DropHandle();
    queue_.Clear();
    fed_ = 0;
    handleBase_ = 0;
    lastPosition_ = 0;
    runActive_ = true;
  }

  void DropHandle() {
    if (handle_ != nullptr) {
      mpg123_delete(handle_);
      handle_ = nullptr;
    }
  }

  // mpg123 refused the stream in a way it does not recover from by itself: a new decoder takes
  // the bytes from here on; what the old one held is lost (at most one window).
  void RestartAfterError() {
    DropHandle();
    handleBase_ = fed_;
  }

  bool EnsureHandle() {
    if (handle_ != nullptr) return true;
    handleBase_ = fed_;
    int error = MPG123_OK;
    handle_ = mpg123_new(nullptr, &error);
    if (handle_ == nullptr) return false;
    long flags = MPG123_QUIET | MPG123_GAPLESS | MPG123_SKIP_ID3V2 | MPG123_AUTO_RESAMPLE;
    if (headerKnown_) flags |= outChannels_ == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO;
    mpg123_param(handle_, MPG123_FLAGS, flags, 0.0);
    mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0.0);
    mpg123_format_none(handle_);
    if (headerKnown_) {
      // Pinned to what GetHeaderInfo reported, so that the device's format holds even when
      // damaged frames claim another rate or mode.
      mpg123_format(handle_, outRate_, outChannels_ == 1 ? MPG123_MONO : MPG123_STEREO,
                    MPG123_ENC_SIGNED_16);
      if (outRate_ != nativeRate_) mpg123_param(handle_, MPG123_FORCE_RATE, outRate_, 0.0);
      currentChannels_ = outChannels_;
      equalizerRate_ = nativeRate_;
    } else {
      const long* rates = nullptr;
      std::size_t count = 0;
      mpg123_rates(&rates, &count);
      for (std::size_t i = 0; i < count; ++i) {
        mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
      }
      currentChannels_ = 2;
      equalizerRate_ = 44100;
    }
    if (mpg123_open_feed(handle_) != MPG123_OK) {
      DropHandle();
      return false;
    }
    ApplyEqualizer();
    return true;
  }

  // Decodes one frame into the queue (or takes note of a format change).
  Refill DecodeFrame() {
    if (handle_ == nullptr) return Refill::kNeedInput;
    off_t number = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    const int result = mpg123_decode_frame(handle_, &number, &audio, &bytes);
    switch (result) {
      case MPG123_OK: {
        mpg123_frameinfo info{};
        const off_t start = mpg123_framepos(handle_);
        std::int64_t end = fed_;
        if (start >= 0 && mpg123_info(handle_, &info) == MPG123_OK) {
          end = std::min<std::int64_t>(fed_, handleBase_ + start + info.framesize);
        }
        if (audio != nullptr && bytes > 0) queue_.Append(audio, bytes, end);
        return Refill::kData;
      }
      case MPG123_NEW_FORMAT: {
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(handle_, &rate, &channels, &encoding) == MPG123_OK &&
            (encoding != MPG123_ENC_SIGNED_16 || channels < 1 || channels > 2)) {
          RestartAfterError();
          return Refill::kNeedInput;
        }
        if (channels >= 1) currentChannels_ = channels;
        mpg123_frameinfo info{};
        if (!headerKnown_ && mpg123_info(handle_, &info) == MPG123_OK && info.rate > 0 &&
            info.rate != equalizerRate_) {
          equalizerRate_ = info.rate;
          ApplyEqualizer();
        }
        return Refill::kData;
      }
      case MPG123_NEED_MORE:
      case MPG123_DONE:
        return Refill::kNeedInput;
      default:
        RestartAfterError();
        return Refill::kNeedInput;
    }
  }

  mpg123_handle* handle_ = nullptr;
  PcmQueue queue_;
  bool runActive_ = false;
  std::int64_t fed_ = 0;         // bytes fed since the run began
  std::int64_t handleBase_ = 0;  // bytes fed before the current mpg123 handle
  std::int64_t lastPosition_ = 0;
  int currentChannels_ = 2;

  bool equalizerOn_ = false;
  std::int8_t bands_[kEqualizerBands] = {};
  long equalizerRate_ = 44100;

  bool headerKnown_ = false;  // from the last GetHeaderInfo
  int nativeRate_ = 0;
  int outRate_ = 0;
  int outChannels_ = 0;
};

std::mutex g_mutex;  // the engine calls Init/Exit from the controls while its thread decodes

Decoder& TheDecoder() {
  static Decoder decoder;
  return decoder;
}

}  // namespace

std::array<double, kDecoderSubbands> SubbandGains(const std::int8_t* bands, long sampleRate) {
  std::array<double, kDecoderSubbands> gains{};
  if (sampleRate <= 0) sampleRate = 44100;
  const double width = static_cast<double>(sampleRate) / 64.0;
  for (int k = 0; k < kDecoderSubbands; ++k) {
    const double low = k * width, high = (k + 1) * width;
    double sum = 0;
    int inside = 0;
    for (int b = 0; b < kEqualizerBands; ++b) {
      if (kBandCentres[b] >= low && kBandCentres[b] < high) {
        sum += std::clamp<int>(bands[b], -kMaxGainDb, kMaxGainDb);
        ++inside;
      }
    }
    if (inside > 0) {
      gains[k] = sum / inside;
      continue;
    }
    const double centre = (low + high) / 2;
    int nearest = 0;
    for (int b = 1; b < kEqualizerBands; ++b) {
      if (std::fabs(std::log(kBandCentres[b] / centre)) <
          std::fabs(std::log(kBandCentres[nearest] / centre))) {
        nearest = b;
      }
    }
    gains[k] = std::clamp<int>(bands[nearest], -kMaxGainDb, kMaxGainDb);
  }
  return gains;
}

std::int32_t DecoderInit(std::uint8_t equalizerOn, const std::int8_t* bands) {
  std::lock_guard<std::mutex> hold(g_mutex);
  return TheDecoder().Init(equalizerOn, bands);
}

std::int32_t DecoderExit() {
  std::lock_guard<std::mutex> hold(g_mutex);
  return TheDecoder().Exit();
}

std::int32_t DecoderGetHeaderInfo(const std::uint8_t* data, std::int32_t length,
                                  std::int32_t* sampleRate, std::int32_t* channels,
                                  std::int32_t* bitRate) {
  std::lock_guard<std::mutex> hold(g_mutex);
  return TheDecoder().GetHeaderInfo(data, length, sampleRate, channels, bitRate);
}

std::int32_t DecoderDecompress(const std::uint8_t* input, std::int32_t length, std::uint8_t* output,
                               std::int32_t room, std::int32_t* produced, std::int32_t* position) {
  std::lock_guard<std::mutex> hold(g_mutex);
  return TheDecoder().Decompress(input, length, output, room, produced, position);
}

}  // namespace mivora::audio
