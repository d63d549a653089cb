// The status line's playing time of an item: "1hr 2m 5s", "59s".
#pragma once

#include <cstdint>
#include <string>

namespace mivora {

std::u16string PlayingTimeText(std::int64_t seconds);

}  // namespace mivora
