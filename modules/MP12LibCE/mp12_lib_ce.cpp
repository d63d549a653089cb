// "MP12LibCE.dll": the audio decoder for MPEG sources (layer II mostly; layers I and III and
// MPEG-2/2.5 too); see modules/AudioDecoderCommon/audio_decoder.h.
#include "modules/AudioDecoderCommon/entry_points.h"

MIVORA_AUDIO_DECODER_ENTRY_POINTS()
