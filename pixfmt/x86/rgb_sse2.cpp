// SSE2 forms of the RGB24 <-> packed 4:2:2 conversions: four pixel pairs
// (24 BGR bytes, 16 packed bytes) per step. A last partial step goes through
// a small stack block, so no byte outside the row's pairs is read or written.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "pixfmt/pixfmt_dsp.h"

namespace pixfmt {

namespace {

constexpr int32_t kPairsPerStep = 4;

// Four 3-byte pixels starting at bytes 0, 3, 6 and 9 of v, one per 32-bit lane
// (B in the low byte; the top byte is whatever follows and gets masked off).
inline __m128i SpreadPixels(__m128i v) {
    __m128i p01 = _mm_unpacklo_epi32(v, _mm_srli_si128(v, 3));
    __m128i p23 = _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9));
    return _mm_unpacklo_epi64(p01, p23);
}

// Byte n of every 32-bit lane of a and b as eight 16-bit lanes, a's first.
inline __m128i Channel(__m128i a, __m128i b, int shift) {
    const __m128i low = _mm_set1_epi32(0xFF);
    __m128i ca = _mm_and_si128(_mm_srli_epi32(a, shift), low);
    __m128i cb = _mm_and_si128(_mm_srli_epi32(b, shift), low);
    return _mm_packs_epi32(ca, cb);
}

// Per pixel pair, the even 16-bit lane becomes the truncated mean of the pair.
inline __m128i PairMean(__m128i c) { return _mm_srli_epi16(_mm_add_epi16(c, _mm_srli_epi32(c, 16)), 1); }

// 24 BGR bytes at `rgb` -> 16 packed bytes at `packed`.
inline void RgbToPackedStep(const uint8_t* rgb, uint8_t* packed) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));      // bytes 0..15
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 8));  // bytes 8..23
    const __m128i p0 = SpreadPixels(lo);                     // pixels 0..3
    const __m128i p1 = SpreadPixels(_mm_srli_si128(hi, 4));  // pixels 4..7 (from byte 12)
    const __m128i b = Channel(p0, p1, 0);
    const __m128i g = Channel(p0, p1, 8);
    const __m128i r = Channel(p0, p1, 16);

    // 16-bit products wrap, but every final sum fits: luma in 0..65280
    // unsigned, the chroma sums in -32640..32640 signed.
    __m128i y = _mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(77)), _mm_mullo_epi16(g, _mm_set1_epi16(150)));
    y = _mm_srli_epi16(_mm_add_epi16(y, _mm_mullo_epi16(b, _mm_set1_epi16(29))), 8);

    const __m128i mb = PairMean(b), mg = PairMean(g), mr = PairMean(r);
    const __m128i bias = _mm_set1_epi16(128);
    __m128i u = _mm_sub_epi16(_mm_slli_epi16(mb, 7), _mm_mullo_epi16(mg, _mm_set1_epi16(85)));
    u = _mm_add_epi16(_mm_srai_epi16(_mm_sub_epi16(u, _mm_mullo_epi16(mr, _mm_set1_epi16(43))), 8), bias);
    __m128i v = _mm_sub_epi16(_mm_slli_epi16(mr, 7), _mm_mullo_epi16(mg, _mm_set1_epi16(107)));
    v = _mm_add_epi16(_mm_srai_epi16(_mm_sub_epi16(v, _mm_mullo_epi16(mb, _mm_set1_epi16(21))), 8), bias);

    // Even lanes hold each pair's U and V: interleave them as U V U V ...,
    // then with the luma as Y0 U Y1 V; the final pack clamps to 0..255.
    const __m128i chroma = _mm_or_si128(_mm_and_si128(u, _mm_set1_epi32(0xFFFF)), _mm_slli_epi32(v, 16));
    const __m128i out = _mm_packus_epi16(_mm_unpacklo_epi16(y, chroma), _mm_unpackhi_epi16(y, chroma));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(packed), out);
}

// Four 32-bit lanes 0x00RRGGBB -> their low three bytes, 12 bytes at the
// bottom of the result (top four bytes zero).
inline __m128i SqueezePixels(__m128i p) {
    const __m128i lowHalf = _mm_set_epi32(0, -1, 0, -1);
    // Within each 64-bit lane: pixel 0 stays, pixel 1 moves down to byte 3.
    __m128i q = _mm_or_si128(_mm_and_si128(p, lowHalf), _mm_srli_epi64(_mm_andnot_si128(lowHalf, p), 8));
    return _mm_or_si128(_mm_move_epi64(q), _mm_slli_si128(_mm_srli_si128(q, 8), 6));
}

// 16 packed bytes at `packed` -> 24 BGR bytes at `rgb`.
inline void PackedToRgbStep(const uint8_t* packed, uint8_t* rgb) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(packed));
    const __m128i y = _mm_and_si128(x, _mm_set1_epi16(0x00FF));  // Y0..Y7
    // (C - 128) * 16 for U V U V ...; the high half of its product with
    // 16 * coefficient is exactly floor(C' * coefficient / 256).
    const __m128i c = _mm_slli_epi16(_mm_sub_epi16(_mm_srli_epi16(x, 8), _mm_set1_epi16(128)), 4);
    const __m128i cbcr = _mm_mulhi_epi16(c, _mm_set_epi16(5744, 7264, 5744, 7264, 5744, 7264, 5744, 7264));
    const __m128i cguv = _mm_mulhi_epi16(c, _mm_set_epi16(-2928, -1376, -2928, -1376, -2928, -1376, -2928, -1376));
    const __m128i cg = _mm_add_epi16(cguv, _mm_srli_epi32(cguv, 16));  // even lanes: cgu + cgv

    // Spread each pair's term over both of its pixels.
    constexpr int kEven = _MM_SHUFFLE(2, 2, 0, 0), kOdd = _MM_SHUFFLE(3, 3, 1, 1);
    const __m128i cb = _mm_shufflehi_epi16(_mm_shufflelo_epi16(cbcr, kEven), kEven);
    const __m128i cr = _mm_shufflehi_epi16(_mm_shufflelo_epi16(cbcr, kOdd), kOdd);
    const __m128i cgp = _mm_shufflehi_epi16(_mm_shufflelo_epi16(cg, kEven), kEven);

    const __m128i zero = _mm_setzero_si128();
    const __m128i b8 = _mm_packus_epi16(_mm_add_epi16(y, cb), zero);
    const __m128i g8 = _mm_packus_epi16(_mm_add_epi16(y, cgp), zero);
    const __m128i r8 = _mm_packus_epi16(_mm_add_epi16(y, cr), zero);
    const __m128i bg = _mm_unpacklo_epi8(b8, g8);
    const __m128i r0 = _mm_unpacklo_epi8(r8, zero);
    const __m128i first = SqueezePixels(_mm_unpacklo_epi16(bg, r0));   // pixels 0..3, 12 bytes
    const __m128i second = SqueezePixels(_mm_unpackhi_epi16(bg, r0));  // pixels 4..7, 12 bytes
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb), _mm_or_si128(first, _mm_slli_si128(second, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(rgb + 16), _mm_srli_si128(second, 4));
}

}  // namespace

void rgb_to_packed_row_sse2(const uint8_t* rgb, uint8_t* packed, int32_t pairs) noexcept {
    int32_t k = 0;
    for (; k + kPairsPerStep <= pairs; k += kPairsPerStep) {
        RgbToPackedStep(rgb + 6 * static_cast<ptrdiff_t>(k), packed + 4 * static_cast<ptrdiff_t>(k));
    }
    const int32_t rest = pairs - k;
    if (rest > 0) {
        uint8_t in[6 * kPairsPerStep] = {};
        uint8_t out[4 * kPairsPerStep];
        std::memcpy(in, rgb + 6 * static_cast<ptrdiff_t>(k), 6 * static_cast<size_t>(rest));
        RgbToPackedStep(in, out);
        std::memcpy(packed + 4 * static_cast<ptrdiff_t>(k), out, 4 * static_cast<size_t>(rest));
    }
}

void packed_to_rgb_row_sse2(const uint8_t* packed, uint8_t* rgb, int32_t pairs) noexcept {
    int32_t k = 0;
    for (; k + kPairsPerStep <= pairs; k += kPairsPerStep) {
        PackedToRgbStep(packed + 4 * static_cast<ptrdiff_t>(k), rgb + 6 * static_cast<ptrdiff_t>(k));
    }
    const int32_t rest = pairs - k;
    if (rest > 0) {
        uint8_t in[4 * kPairsPerStep] = {};
        uint8_t out[6 * kPairsPerStep];
        std::memcpy(in, packed + 4 * static_cast<ptrdiff_t>(k), 4 * static_cast<size_t>(rest));
        PackedToRgbStep(in, out);
        std::memcpy(rgb + 6 * static_cast<ptrdiff_t>(k), out, 6 * static_cast<size_t>(rest));
    }
}

}  // namespace pixfmt
