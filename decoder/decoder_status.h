// What decore_frame says about the frame it was given, and the details kept for the caller.
#pragma once

#include <cstdint>

namespace mivora {

enum class DecodeStatus : std::int32_t {
  Ok = 0,
  NotCoded = 1,     // vop_coded 0: previous picture repeated
  Damaged = 2,      // invalid codes met; picture best effort
  Unsupported = 3,  // stream uses a feature we don't decode
  NoPicture = 4,    // no picture header
  NotInitialised = 5,
  // A stream with B pictures: the picture decoded waits for the next chunk (pictures go out one
  // chunk late); the frame describes the picture shown before.
  Delayed = 6,
};

struct FrameReport {
  DecodeStatus status = DecodeStatus::NotInitialised;
  int pictureType = -1;  // 0 I, 1 P, 2 B, 3 S, -1 none
  int quantiser = 0;
  int bytes = 0;
  int concealedMacroblocks = 0;  // rebuilt from the reference picture after damage
  const char* feature = "";      // name of the unsupported feature, or ""
};

// The report of the latest decore_frame call.
const FrameReport& LastFrameReport();
const char* DescribeStatus(DecodeStatus status);

}  // namespace mivora
