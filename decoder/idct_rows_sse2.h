// The 8x8 transpose and the row writers shared by the SSE2 and AVX2 inverse transforms. Included
// inside each set's namespace after it defines MIVORA_IDCT_ROWS_INLINE with its target attribute,
// so each set gets its own copy compiled for its instructions.
MIVORA_IDCT_ROWS_INLINE void Transpose(__m128i v[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]), a1 = _mm_unpackhi_epi16(v[0], v[1]);
  const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]), a3 = _mm_unpackhi_epi16(v[2], v[3]);
  const __m128i a4 = _mm_unpacklo_epi16(v[4], v[5]), a5 = _mm_unpackhi_epi16(v[4], v[5]);
  const __m128i a6 = _mm_unpacklo_epi16(v[6], v[7]), a7 = _mm_unpackhi_epi16(v[6], v[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  v[0] = _mm_unpacklo_epi64(b0, b4);
  v[1] = _mm_unpackhi_epi64(b0, b4);
  v[2] = _mm_unpacklo_epi64(b1, b5);
  v[3] = _mm_unpackhi_epi64(b1, b5);
  v[4] = _mm_unpacklo_epi64(b2, b6);
  v[5] = _mm_unpackhi_epi64(b2, b6);
  v[6] = _mm_unpacklo_epi64(b3, b7);
  v[7] = _mm_unpackhi_epi64(b3, b7);
}

// rows[r]: eight 16-bit results of row r, unclipped.
// All 64 results equal: value in every 16-bit lane.
template <bool kAdd>
MIVORA_IDCT_ROWS_INLINE void WriteAll(__m128i value, std::uint8_t* dst, std::ptrdiff_t stride) {
  const __m128i packed = _mm_packus_epi16(value, value);
  for (int r = 0; r < 8; ++r, dst += stride) {
    if constexpr (kAdd) {
      const __m128i p = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst));
      const __m128i v = _mm_adds_epi16(value, _mm_unpacklo_epi8(p, _mm_setzero_si128()));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(v, v));
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), packed);
    }
  }
}

template <bool kAdd>
MIVORA_IDCT_ROWS_INLINE void Write(const __m128i rows[8], std::uint8_t* dst,
                                   std::ptrdiff_t stride) {
  for (int r = 0; r < 8; ++r, dst += stride) {
    __m128i v = rows[r];
    if constexpr (kAdd) {
      const __m128i p = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst));
      v = _mm_adds_epi16(v, _mm_unpacklo_epi8(p, _mm_setzero_si128()));
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(v, v));
  }
}
