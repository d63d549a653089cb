// "MP3LibCE.dll": the audio decoder for AVI and MP3 sources. It decodes MPEG-1/2/2.5 layers I, II
// and III alike, as MP12LibCE does; see modules/AudioDecoderCommon/audio_decoder.h.
#include "modules/AudioDecoderCommon/entry_points.h"

MIVORA_AUDIO_DECODER_ENTRY_POINTS()
