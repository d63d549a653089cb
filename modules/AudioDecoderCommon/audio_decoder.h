// The MPEG audio decoder behind MP3LibCE and MP12LibCE: one decoding run at a time over libmpg123
// in feed mode, driven through the four entry points of input/audio_decoder_module.h.
//
// Window protocol: every call with input feeds all of it to mpg123, so a result r > 0 is always 1
// (no byte left over); r = 0 when decoded PCM is still pending (the caller then calls with null
// input); r < 0 only for unusable arguments (null output, negative counts, room under one sample).
//
// Positions: bytes fed since the run began (Init) up to the end of the last MPEG frame that has
// samples in the output, found from mpg123's frame offset and frame size; ID3 tags and junk count
// like any other bytes, so the unit is the bytes the engine reads. Never falling; 0 only with no
// samples. A decoder that has to be started over after a stream error keeps counting from the
// bytes fed so far.
//
// Equalizer: the ten bands of the options record (signed bytes, dB gains -12..+12, clamped) are
// centred at 31, 62, 125, 250, 500 Hz, 1, 2, 4, 8 and 16 kHz. mpg123's equalizer works on its 32
// polyphase subbands, subband k covering k*fs/64 .. (k+1)*fs/64 of the stream's own rate fs. Each
// subband gets the mean gain (in dB) of our bands whose centre lies inside it, or, when none does,
// the gain of our band nearest (on a log scale) to the subband's centre. At 44.1 kHz (689 Hz per
// subband): subband 0 = mean of 31..500 Hz; 1 = 1 kHz; 2-3 = 2 kHz; 4-7 = 4 kHz; 8-15 = 8 kHz;
// 16-31 = 16 kHz. EqualizerOn 0 leaves every subband flat.
#pragma once

#include <array>
#include <cstdint>

namespace mivora::audio {

inline constexpr int kEqualizerBands = 10;
inline constexpr int kDecoderSubbands = 32;

// Gain in dB of each of mpg123's subbands, for our ten band values at stream rate fs.
std::array<double, kDecoderSubbands> SubbandGains(const std::int8_t* bands, long sampleRate);

std::int32_t DecoderInit(std::uint8_t equalizerOn, const std::int8_t* bands);
std::int32_t DecoderExit();
std::int32_t DecoderGetHeaderInfo(const std::uint8_t* data, std::int32_t length,
                                  std::int32_t* sampleRate, std::int32_t* channels,
                                  std::int32_t* bitRate);
std::int32_t DecoderDecompress(const std::uint8_t* input, std::int32_t length, std::uint8_t* output,
                               std::int32_t room, std::int32_t* produced, std::int32_t* position);

}  // namespace mivora::audio
