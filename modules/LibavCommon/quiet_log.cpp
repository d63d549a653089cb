#include "modules/LibavCommon/quiet_log.h"

extern "C" {
#include <libavutil/log.h>
}

namespace mivora::libav {

void QuietLog() {
  av_log_set_level(AV_LOG_QUIET);
}

}  // namespace mivora::libav
