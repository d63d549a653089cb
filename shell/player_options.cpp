#include "shell/player_options.h"

namespace mivora {

PlayerOptions& Options() {
  static PlayerOptions options;
  return options;
}

}  // namespace mivora
