#include "decoder/decoder_state.h"

#include <algorithm>

namespace mivora::decoder {
namespace {

constexpr std::int16_t kBorderDc = 1024;
constexpr std::uint8_t kIntraMode = 3;

void SizeGrid(PredictionGrid& grid, int columns, int rows) {
  grid.columns = columns + 1;
  PredictionEntry border{};
  border.dc = kBorderDc;
  grid.entries.assign(static_cast<std::size_t>(columns + 1) * (rows + 1), border);
}

}  // namespace

DecoderState& State() {
  static DecoderState state;
  return state;
}

void SizeMacroblockState(DecoderState& state, int width, int height) {
  state.width = width;
  state.height = height;
  state.mbWidth = (width + 15) / 16;
  state.mbHeight = (height + 15) / 16;
  state.mbCount = state.mbWidth * state.mbHeight;
  state.mapColumns = state.mbWidth + 2;
  const std::size_t slots = static_cast<std::size_t>(state.mapColumns) * (state.mbHeight + 2);
  // Outside the picture counts as intra; inside, as after an intra picture, so a stream that
  // starts with a P picture copies skipped macroblocks instead of leaving them untouched.
  state.modeMap.assign(slots, kIntraMode);
  state.motionVectors.assign(4 * slots, MotionVector{0, 0});
  state.partitioned.assign(static_cast<std::size_t>(state.mbCount), PartitionedMacroblock{});
  state.fieldPredicted.assign(static_cast<std::size_t>(state.mbCount), 0);
  state.fieldMotion.assign(static_cast<std::size_t>(state.mbCount), FieldVectors{});
  SizeGrid(state.luma, 2 * state.mbWidth, 2 * state.mbHeight);
  SizeGrid(state.cb, state.mbWidth, state.mbHeight);
  SizeGrid(state.cr, state.mbWidth, state.mbHeight);
}

}  // namespace mivora::decoder
