#include "decoder/field_prediction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace mivora::decoder {
namespace {

// The averaged prediction (a bidirectional prediction's second half) is the plain one averaged
// into the picture, sample for sample, whether the fields lie inside the reference (predicted in
// place) or reach beyond its border (gathered), with half- and quarter-sample vectors; and it
// touches nothing else (outside the macroblock the plain prediction left every byte as it was).
TEST(FieldPrediction, AveragedEqualsPlainAveragedIntoThePicture) {
  PictureStore store;
  ASSERT_TRUE(AllocatePictures(store, 64, 48));
  std::mt19937 random(7);
  for (std::uint8_t* p = store.buffer; p != store.buffer + store.bytes; ++p)
    *p = static_cast<std::uint8_t>(random());
  ExtendReferenceEdges(store);
  const std::vector<std::uint8_t> before(store.buffer, store.buffer + store.bytes);
  const FieldVectors cases[] = {
      {{{3, 5}, {-7, 2}}, {0, 1}},          // inside, both fields
      {{{1, 1}, {2, 3}}, {1, 0}},           // fields crossed
      {{{-301, 155}, {250, -97}}, {1, 1}},  // far outside: gathered
      {{{-70, -41}, {0, 0}}, {0, 0}},       // one field at the edge
  };
  for (int quarter = 0; quarter < 2; ++quarter) {
    store.quarterSample = quarter;
    for (int mbx : {0, 2, 3}) {
      for (const FieldVectors& f : cases) {
        SCOPED_TRACE(testing::Message() << "quarter " << quarter << " mbx " << mbx << " vector "
                                        << f.vector[0].x << "," << f.vector[0].y);
        std::copy(before.begin(), before.end(), store.buffer);
        PredictFieldMacroblock(store, store.reference, store.current, mbx, mbx & 1, f, 0);
        const std::vector<std::uint8_t> plain(store.buffer, store.buffer + store.bytes);
        std::copy(before.begin(), before.end(), store.buffer);
        PredictFieldMacroblock(store, store.reference, store.current, mbx, mbx & 1, f, 0, true);
        int wrong = 0;
        for (std::size_t i = 0; i < store.bytes; ++i)
          wrong += store.buffer[i] != ((before[i] + plain[i] + 1) >> 1);
        EXPECT_EQ(0, wrong);
      }
    }
  }
  ReleasePictures(store);
}

}  // namespace
}  // namespace mivora::decoder
