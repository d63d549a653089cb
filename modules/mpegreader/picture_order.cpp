#include "modules/mpegreader/picture_order.h"

namespace mivora::mpeg {

bool IsBPicture(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr) return false;
  // Picture start code 00 00 01 00, then 10 bits of temporal reference and 3 of coding type.
  for (std::size_t i = 0; i + 6 <= size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0) {
      return ((data[i + 5] >> 3) & 7) == 3;
    }
  }
  return false;
}

std::vector<std::size_t> DisplayOrder(const std::vector<bool>& isB) {
  std::vector<std::size_t> order;
  order.reserve(isB.size());
  bool holding = false;
  std::size_t held = 0;
  for (std::size_t i = 0; i < isB.size(); ++i) {
    if (isB[i]) {
      order.push_back(i);
      continue;
    }
    if (holding) order.push_back(held);
    held = i;
    holding = true;
  }
  if (holding) order.push_back(held);
  return order;
}

}  // namespace mivora::mpeg
