// The decoder's one working record: sequence and picture fields, the per-macroblock maps sized
// from the picture at initialisation, the intra prediction store and the two pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/decoder_status.h"
#include "decoder/display_order.h"
#include "decoder/field_prediction.h"
#include "decoder/global_motion.h"
#include "decoder/motion_compensation.h"
#include "decoder/picture.h"
#include "decoder/quant_matrix.h"

namespace mivora::decoder {

inline constexpr std::uint8_t kNotCodedMode = 255;
inline constexpr int kInvalidMode = 7;
inline constexpr int kGlobalMotionSprite = 2;   // sprite_enable of global motion compensation
inline constexpr int kGlobalMotionPicture = 3;  // vop_coding_type of an S picture

// Fields of the latest sequence (VOL) header.
struct SequenceFields {
  int hasLayerId = 0;
  int layerVersion = 1;
  int layerPriority = 1;
  int shape = 0;
  int timeResolution = 0;
  int width = 0, height = 0;
  int quantPrecision = 5;
  int bitsPerPixel = 8;
  int scalability = 0;
  int interlaced = 0;
  int resyncMarkerDisable = 1;
  int dataPartitioned = 0;
  int reversibleVlc = 0;
  int quantType = 0;  // 1: the MPEG method with matrices
  int quarterSample = 0;
  int spriteEnable = 0;     // kGlobalMotionSprite: S pictures use global motion compensation
  int warpingPoints = 0;    // 0..3 warping points in S pictures
  int warpingAccuracy = 0;  // warping vectors' resolution: 1/2 .. 1/16 sample
  QuantMatrices matrices{};
  int objectType = 0;  // video_object_type_indication
  // From vol_control_parameters: 1 no B pictures, 0 B pictures may follow, -1 not said.
  int lowDelay = -1;
  // Set when the layer uses something this decoder does not decode; nullptr otherwise.
  const char* unsupported = nullptr;
};

// Fields of the latest picture (VOP) header.
struct PictureFields {
  int pictureType = 0;  // 0 I, 1 P, 2 B, 3 S
  int timeIncrement = 0;
  int pictureCoded = 1;
  int roundingType = 0;
  int intraDcThreshold = 0;
  int quantiser = 1;
  int fcode = 1;
  int fcodeBackward = 1;   // B pictures
  int topFieldFirst = 0;   // interlaced layers
  int alternateScan = 0;   // interlaced layers: every block in the alternate vertical scan
  int moduloTimeBase = 0;  // whole seconds since the time base of the picture before
  // S pictures: the warping points' differences (horizontal, vertical), half samples.
  int warping[3][2] = {};
};

// An intra macroblock's DC comes with its coefficients (not in the DC codes) at this quantiser
// under the picture's intra_dc_vlc_thr.
inline bool IntraDcWithCoefficients(const PictureFields& picture, int quantiser) {
  const int threshold = picture.intraDcThreshold;
  return threshold != 0 && (threshold == 7 || quantiser >= 11 + 2 * threshold);
}

// One luminance block's or one macroblock's chrominance block's values for its neighbours:
// the inverse-quantised DC, first column (indices 8..56) and first row (indices 1..7).
// With the MPEG method of inverse quantisation the first column and row hold quantised levels,
// and quantiser the one they were quantised with.
struct PredictionEntry {
  std::int16_t dc;
  std::int16_t column[7];
  std::int16_t row[7];
  std::int16_t quantiser;
};

// Entries of a grid with one border row on top and one border column on the left, which stand
// for blocks outside the picture (DC 1024, zero ACs).
struct PredictionGrid {
  int columns = 0;  // including the border column
  std::vector<PredictionEntry> entries;
  PredictionEntry& At(int x, int y) { return entries[(y + 1) * columns + (x + 1)]; }
};

// What the first two parts of a data-partitioned packet tell about one macroblock, kept until its
// coefficients in the third part.
struct PartitionedMacroblock {
  std::int8_t type;  // -1 not coded
  std::int8_t cbp;
  std::int8_t acPredicted;
  std::int8_t quantiser;
  int dcDiff[6];
};

struct DecoderState {
  SequenceFields sequence;
  PictureFields picture;

  bool open = false;
  int width = 0, height = 0;
  int mbWidth = 0, mbHeight = 0, mbCount = 0;
  int mbX = 0, mbY = 0, mbIndex = 0;
  int mbType = 0;
  int cbp = 0;  // bit 5 - i: block i has coefficients
  int acPredicted = 0;
  int dctType = 0;  // interlaced layers: 1 the luminance blocks hold the two fields
  bool predictFromAbove = false;
  bool damaged = false;  // invalid codes met in the current picture
  bool lost = false;     // the stream position is lost: the picture ends early
  // First macroblock of the video packet being decoded: neighbours before it are not predicted
  // from. 0 in pictures without packets.
  int packetStart = 0;
  std::size_t packetBit = 0;  // where the packet's macroblock data begins
  int clearedUpTo = 0;        // macroblocks before this one hold "not available" intra values
  int concealed = 0;          // macroblocks rebuilt from the reference in the current picture
  // Off: a failure conceals the rest of the picture, as for streams without packets (the measure
  // packet concealment is compared with).
  bool packetConcealment = true;
  // On: a texture part in the reversible codes that fails forward is read backward from its end
  // too, so only the macroblocks between the two failures are concealed.
  bool backwardTexture = true;
  const char* unsupported = nullptr;  // feature met in the current picture
  GlobalMotion globalMotion;          // S pictures: the warp of the current one

  // (mbWidth + 2) x (mbHeight + 2) with a border all round; (x, y) at [(y + 1) * mapColumns + x +
  // 1].
  int mapColumns = 0;
  std::vector<std::uint8_t> modeMap;
  std::vector<MotionVector> motionVectors;  // four per macroblock
  PredictionGrid luma, cb, cr;
  std::vector<PartitionedMacroblock> partitioned;  // one per macroblock of the packet
  // Interlaced layers, one per macroblock in raster order: whether the latest P picture predicted
  // it by fields, and its field vectors then (the B pictures' direct mode scales them).
  std::vector<std::uint8_t> fieldPredicted;
  std::vector<FieldVectors> fieldMotion;

  alignas(16) std::int16_t block[64] = {};
  BitReader reader;
  PictureStore pictures;
  DisplayOrder order;
  FrameReport report;

  std::uint8_t& Mode(int x, int y) { return modeMap[(y + 1) * mapColumns + (x + 1)]; }
  MotionVector* Vectors(int x, int y) { return &motionVectors[4 * ((y + 1) * mapColumns + x + 1)]; }
};

// The process's one decoder (the decoder is not reentrant; callers serialise).
DecoderState& State();

// Sizes the per-macroblock state for a width x height picture and sets every border; the
// interiors start as after an all-intra picture.
void SizeMacroblockState(DecoderState& state, int width, int height);

}  // namespace mivora::decoder
