#include "decoder/field_prediction.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace mivora::decoder {
namespace {

// The picture area of one plane, row by row.
std::vector<std::uint8_t> Area(const std::uint8_t* plane, int stride, int width, int height) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < height; ++y)
    out.insert(out.end(), plane + y * stride, plane + y * stride + width);
  return out;
}

struct Planes {
  std::vector<std::uint8_t> y, u, v;
};

Planes Snapshot(const PictureStore& s, const Picture& p) {
  return {Area(p.y, s.stride, s.width, s.height),
          Area(p.u, s.stride / 2, s.width / 2, s.height / 2),
          Area(p.v, s.stride / 2, s.width / 2, s.height / 2)};
}

void Restore(const PictureStore& s, const Picture& p, const Planes& from) {
  for (int y = 0; y < s.height; ++y)
    std::copy_n(from.y.data() + y * s.width, s.width, p.y + y * s.stride);
  for (int y = 0; y < s.height / 2; ++y) {
    std::copy_n(from.u.data() + y * s.width / 2, s.width / 2, p.u + y * s.stride / 2);
    std::copy_n(from.v.data() + y * s.width / 2, s.width / 2, p.v + y * s.stride / 2);
  }
}

// The averaged prediction (a bidirectional prediction's second half) is the plain one averaged
// into the picture, sample for sample, whether the fields lie inside the reference (predicted in
// place) or reach beyond its border (gathered), with half- and quarter-sample vectors; and it
// touches nothing outside its macroblock.
TEST(FieldPrediction, AveragedEqualsPlainAveragedIntoThePicture) {
  PictureStore store;
  ASSERT_TRUE(AllocatePictures(store, 64, 48));
  std::mt19937 random(7);
  for (std::uint8_t* p = store.buffer; p != store.buffer + store.bytes; ++p)
    *p = static_cast<std::uint8_t>(random());
  ExtendReferenceEdges(store);
  const Planes before = Snapshot(store, store.current);
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
        const int mby = mbx & 1;
        Restore(store, store.current, before);
        PredictFieldMacroblock(store, store.reference, store.current, mbx, mby, f, 0);
        const Planes plain = Snapshot(store, store.current);
        Restore(store, store.current, before);
        PredictFieldMacroblock(store, store.reference, store.current, mbx, mby, f, 0, true);
        const Planes averaged = Snapshot(store, store.current);
        const auto check = [](const std::vector<std::uint8_t>& was,
                              const std::vector<std::uint8_t>& p,
                              const std::vector<std::uint8_t>& got) {
          int wrong = 0;
          for (std::size_t i = 0; i < got.size(); ++i)
            wrong += got[i] != ((was[i] + p[i] + 1) >> 1);  // outside: p is was
          return wrong;
        };
        EXPECT_EQ(0, check(before.y, plain.y, averaged.y));
        EXPECT_EQ(0, check(before.u, plain.u, averaged.u));
        EXPECT_EQ(0, check(before.v, plain.v, averaged.v));
      }
    }
  }
  ReleasePictures(store);
}

}  // namespace
}  // namespace mivora::decoder
