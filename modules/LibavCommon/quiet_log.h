// The player keeps no log: libav's messages about damaged streams would only clutter the
// console of a program that plays them as well as it can.
#pragma once

namespace mivora::libav {

void QuietLog();

}  // namespace mivora::libav
