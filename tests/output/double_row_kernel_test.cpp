// The mode 8 row kernel of every kernel set on parts of a row. The converters ask for whole rows
// (begin 0, end = width), so the vector steps moved back to end inside the row, and ranges that
// end before the last column (whose right neighbours then exist), are only reached here.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "output/convert_dsp.h"

namespace mivora::convert {
namespace {

// One source row with the row below it, each plane its own exactly sized buffer so a read past
// the row shows under the address sanitizer.
struct Row {
  std::vector<std::uint8_t> y0, y1, u0, v0, u1, v1, prevY0, prevU, prevV;
  Row(int width, std::mt19937& random) {
    const int chroma = (width + 1) / 2;
    for (auto* plane : {&y0, &y1, &prevY0}) plane->resize(width);
    for (auto* plane : {&u0, &v0, &u1, &v1, &prevU, &prevV}) plane->resize(chroma);
    for (auto* plane : {&y0, &y1, &u0, &v0, &u1, &v1})
      for (auto& s : *plane) s = static_cast<std::uint8_t>(random());
    // Previous samples: about a third differ, so single changed blocks occur inside a step.
    prevY0 = y0;
    prevU = u0;
    prevV = v0;
    for (auto* plane : {&prevY0, &prevU, &prevV})
      for (auto& s : *plane)
        if (random() % 3 == 0) s = static_cast<std::uint8_t>(s + 1);
  }
  SourceRows Rows(bool skip) const {
    SourceRows rows;
    rows.y0 = y0.data();
    rows.y1 = y1.data();
    rows.u0 = u0.data();
    rows.v0 = v0.data();
    rows.u1 = u1.data();
    rows.v1 = v1.data();
    if (skip) {
      rows.prevY0 = prevY0.data();
      rows.prevU = prevU.data();
      rows.prevV = prevV.data();
    }
    return rows;
  }
};

TEST(DoubleRowKernel, EveryEvenStartedRangeMatchesTheReference) {
  std::mt19937 random(17);
  const ConvertDsp& reference = ReferenceConvertDsp();
  // Widths around one and two vector steps (sixteen samples plus the right neighbour).
  for (const int width : {1, 16, 17, 18, 33, 34, 35, 50}) {
    const Row row(width, random);
    for (const bool skip : {false, true}) {
      const SourceRows rows = row.Rows(skip);
      for (const auto& set : AvailableConvertDsps()) {
        for (int begin = 0; begin < width; ++begin) {
          for (int end = begin + 1; end <= width; ++end) {
            std::vector<std::uint16_t> top(2 * width), bottom(2 * width);
            for (auto& p : top) p = static_cast<std::uint16_t>(random());
            for (auto& p : bottom) p = static_cast<std::uint16_t>(random());
            std::vector<std::uint16_t> expectedTop = top, expectedBottom = bottom;
            set.dsp->doubleRow(rows, top.data(), bottom.data(), begin, end, width);
            reference.doubleRow(rows, expectedTop.data(), expectedBottom.data(), begin, end, width);
            ASSERT_EQ(expectedTop, top) << set.name << " width " << width << " samples " << begin
                                        << ".." << end << " skip " << skip;
            ASSERT_EQ(expectedBottom, bottom) << set.name << " width " << width << " samples "
                                              << begin << ".." << end << " skip " << skip;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace mivora::convert
